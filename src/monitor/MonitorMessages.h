#pragma once
// The boxes of the monitor-list files and of the event log.

#include "protocol/seams/Notifier.h"

namespace kestrel {

inline constexpr Message kConfigFileError{"Config File Error", kErrorCaption, MessageIcon::Error};
inline constexpr Message kLoadDuplicateIp{"Duplicate ip in monitor list", "Warning",
                                          MessageIcon::Warning};
inline constexpr Message kLoadDuplicateDevice{"Duplicate device in monitor list", "Warning",
                                              MessageIcon::Warning};
// Same words as "Add item" uses for a full list.
inline constexpr Message kLoadMonitorFull{"out of 256 device in monitor list", "Warning",
                                          MessageIcon::Warning};
// Followed by ": ", the file's path, a line break and the system's reason.
inline constexpr Message kMonitorSaveFail{"Monitor save fail", kErrorCaption, MessageIcon::Error};

inline constexpr Message kLogOpenFail{"syslog.log not exit", kErrorCaption, MessageIcon::Error};
inline constexpr Message kLogWriteFail{"syslog.log write fail", kErrorCaption, MessageIcon::Error};
// Followed by the log's path: the desktop has no viewer that opened it.
inline constexpr Message kLogViewFail{"No program could open the log file", kErrorCaption,
                                      MessageIcon::Error};

} // namespace kestrel
