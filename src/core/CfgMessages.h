#pragma once
// The box of preparing the user's cfg folder on the first start.

#include "protocol/seams/Notifier.h"

namespace kestrel {

// Shown with the reason in place of this text.
inline constexpr Message kCfgFolderFail{"The program's folder could not be prepared", kErrorCaption,
                                        MessageIcon::Error};

} // namespace kestrel
