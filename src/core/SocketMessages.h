#pragma once
// The boxes of opening the program's sockets.

#include "protocol/Notifier.h"

namespace kestrel {

inline constexpr Message kCreateSocketError{"Creat Socket error", kErrorCaption,
                                            MessageIcon::Error};
inline constexpr Message kBindSocketError{"Bind socket error", kErrorCaption, MessageIcon::Error};
inline constexpr Message kGroupJoinFail{"Please check you network connection.\nUtility will close.",
                                        kErrorCaption, MessageIcon::Error};

// Followed by the granted size and how to allow more.
inline constexpr Message kReceiveBufferCapped{
    "The system limits the receive buffer of the program's sockets", "Warning",
    MessageIcon::Warning};

} // namespace kestrel
