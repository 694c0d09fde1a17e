#pragma once
// The boxes of the main window's own start-up.

#include "protocol/seams/Notifier.h"

namespace kestrel {

inline constexpr Message kSettingsLoadFail{"It will cause the application fail\n ", kErrorCaption,
                                           MessageIcon::Error};

} // namespace kestrel
