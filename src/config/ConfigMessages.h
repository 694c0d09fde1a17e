#pragma once
// The boxes of the Configuration setting dialog's input checks, in the order
// they are tested.

#include "protocol/Notifier.h"

namespace kestrel {

inline constexpr Message kPasswordLength{"Password lengths between 1-20", kErrorCaption,
                                         MessageIcon::Error};
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

} // namespace kestrel
