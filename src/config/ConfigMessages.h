#pragma once
// The boxes of the set dialogs' input checks, each dialog's in the order
// they are tested.

#include "protocol/seams/Notifier.h"

namespace kestrel {

inline constexpr Message kIllegalSetIp{"Illegal ip address", kErrorCaption, MessageIcon::Error};
inline constexpr Message kSetIpExists{"The setting IP have already existed ", "Setting fail",
                                      MessageIcon::Error};
inline constexpr Message kSubnetMaskIllegal{"Subnet mask is illegal", kErrorCaption,
                                            MessageIcon::Error};
inline constexpr Message kGatewayNotInNet{"Gateway and ip address are not in the same net ",
                                          kErrorCaption, MessageIcon::Error};
inline constexpr Message kInvalidSubnet{"Invalid subnet", kErrorCaption, MessageIcon::Error};
inline constexpr Message kErrorTrapIp{"Error Trap IP", kErrorCaption, MessageIcon::Error};
inline constexpr Message kGroupIntervalDigits{"Group Interval only includes 0-9", kErrorCaption,
                                              MessageIcon::Error};
inline constexpr Message kGroupIntervalRange{
    "Group Interval value must between 120-1225\n0 means disable switch group interval",
    kErrorCaption, MessageIcon::Error};

// Group Interval (the program's own keep-alive); its digits check shares
// the words of kGroupIntervalDigits.
inline constexpr Message kKeepAliveRange{"Value of Group Interval must between 120~1225\n ",
                                         kErrorCaption, MessageIcon::Error};

// Password change.
inline constexpr Message kPasswordLengthBetween{"Password length between 1-20  ", kErrorCaption,
                                                MessageIcon::Error};
inline constexpr Message kConfirmPasswordFail{"Confirm password fail", kErrorCaption,
                                              MessageIcon::Error};

// Web access; the one-device and loader-mode refusals are the set
// exchange's words.
inline constexpr Message kWebOnlyMonitorList{
    "Only the devices in the monitor list can entry the web", kErrorCaption, MessageIcon::Error};
inline constexpr Message kSelectOneMonitorDevice{"Please select one device in the monitor list",
                                                 kErrorCaption, MessageIcon::Error};
inline constexpr Message kBrowserWebFail{"Browser web fail", kErrorCaption, MessageIcon::Error};

} // namespace kestrel
