#pragma once
// The boxes of the set exchange: the selection check before a set dialog
// opens, and the failed sends of a set request.

#include "protocol/seams/Notifier.h"

namespace kestrel {

// The password a set request or an upgrade trigger carries.
inline constexpr Message kPasswordLength{"Password lengths between 1-20", kErrorCaption,
                                         MessageIcon::Error};
inline constexpr Message kOnlyOneDevice{"Only one device can be selected", kErrorCaption,
                                        MessageIcon::Error};
inline constexpr Message kSelectOneDevice{"Please select one device", kErrorCaption,
                                          MessageIcon::Error};
inline constexpr Message kProtocolVersionNotSupported{"agent protocol version not support",
                                                      kErrorCaption, MessageIcon::Error};
inline constexpr Message kInterfaceVersionNotSupported{"agent interface version not support",
                                                       kErrorCaption, MessageIcon::Error};
inline constexpr Message kLoaderModeDiscovery{
    "Agent is in loader mode, it can't set \n it needs firmware upgrade", kErrorCaption,
    MessageIcon::Error};
inline constexpr Message kLoaderModeMonitor{"Agent is in loader mode, it can't set", kErrorCaption,
                                            MessageIcon::Error};
// A selected row whose agent is no longer in the table behind the list.
inline constexpr Message kSelectedDeviceGone{
    "The selected device is no longer in the list; please select it again", kErrorCaption,
    MessageIcon::Error};

inline constexpr Message kUnicastSetSendError{"Unicast set send error", kErrorCaption,
                                              MessageIcon::Error};
// The password change spells it in lower case.
inline constexpr Message kUnicastPasswordSendError{"unicast set send error", kErrorCaption,
                                                   MessageIcon::Error};
inline constexpr Message kUdpSetSendError{"UDP set send error", kErrorCaption, MessageIcon::Error};

} // namespace kestrel
