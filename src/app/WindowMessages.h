#pragma once
// The boxes of the main window's own start-up.

#include "protocol/seams/Notifier.h"

namespace kestrel {

inline constexpr Message kSettingsLoadFail{"It will cause the application fail\n ", kErrorCaption,
                                           MessageIcon::Error};

// Another program holds the protocol's ports; its text names the holder.
inline constexpr Message kPortsHeld{"", kErrorCaption, MessageIcon::Error};

} // namespace kestrel
