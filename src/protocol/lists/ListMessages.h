#pragma once
// The boxes of the list commands: moving agents to the monitor list, adding
// one by address, deleting monitored agents.

#include "protocol/seams/Notifier.h"

namespace kestrel {

inline constexpr Message kMoveDuplicateIp{"Duplicate ip ", "Add fail", MessageIcon::Error};
inline constexpr Message kMoveMonitorFull{"out of 256 device in monitor list", "Add fail",
                                          MessageIcon::Error};
inline constexpr Message kAddMonitorFull{"out of 256 device in monitor list", kErrorCaption,
                                         MessageIcon::Error};
inline constexpr Message kAddDuplicateIp{"Duplicate IP in monitor list or discovery list",
                                         kErrorCaption, MessageIcon::Error};
inline constexpr Message kIllegalIpAddress{"IP address is illegal", " Error", MessageIcon::Error};
inline constexpr Message kDeleteQuestion{"Are you sure to delete this item ?", "Warning",
                                         MessageIcon::Warning};

} // namespace kestrel
