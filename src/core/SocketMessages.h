#pragma once
// The boxes of opening the program's sockets.

#include "protocol/seams/Notifier.h"

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

// Once, when the keep-alive is on but no raw socket could be had; followed
// by how to allow it.
inline constexpr Message kKeepAliveNoRawSocket{
    "The keep-alive is switched on, but this program may not open the raw network socket "
    "its IGMP reports need, so none will be sent. Switches that watch group membership may "
    "stop passing the agents' multicast replies after a while.\n"
    "Everything else works as usual.",
    "Warning", MessageIcon::Warning};

} // namespace kestrel
