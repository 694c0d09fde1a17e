#pragma once
// The boxes of the protocol layer: receive dispatch, discovery, the
// rediscovery after an upgrade, and define.ecf.

#include "protocol/seams/Notifier.h"

namespace kestrel {

inline constexpr Message kSetSocketOptError{"Set socketopt error", kErrorCaption,
                                            MessageIcon::Error};
inline constexpr Message kDiscoverySendFail{"Discovery sento fail", kErrorCaption,
                                            MessageIcon::Error};
inline constexpr Message kDiscoveryTableFull{"Add fail, out of 256 devices", kErrorCaption,
                                             MessageIcon::Error};
inline constexpr Message kSetSuccessful{"Set Succesful", "Information", MessageIcon::Information};
// An agent's non-zero reply status; the words come from ReplyStatusMessage.
inline constexpr Message kReplyStatus{"", kErrorCaption, MessageIcon::Error};

inline constexpr Message kUpgradeSuccessful{"Upgrade successful", "information",
                                            MessageIcon::Information};
inline constexpr Message kUpgradeFail{"Upgrade fail", "information", MessageIcon::Warning};

// define.ecf at start-up.
inline constexpr std::string_view kFileErrorCaption = "file error";
inline constexpr Message kEcfNotFound{"define.ecf not found", kFileErrorCaption,
                                      MessageIcon::Error};
inline constexpr Message kEcfOpenFail{"define.ecf open fail", kFileErrorCaption,
                                      MessageIcon::Error};
inline constexpr Message kEcfTooLarge{"file size too large", kFileErrorCaption, MessageIcon::Error};
inline constexpr Message kEcfChecksumError{"define.ecf checksum error", kFileErrorCaption,
                                           MessageIcon::Error};
inline constexpr Message kEcfBasePortError{
    "define.ecf base port error: the six ports from it must lie within 1-65535", kFileErrorCaption,
    MessageIcon::Error};

// define.ecf rewritten by the Group Interval dialog: plain boxes.
inline constexpr Message kEcfChecksumPlain{"define.ecf checksum error", kPlainCaption};
inline constexpr Message kEcfOpenFilePlain{"open file fail", kPlainCaption};
inline constexpr Message kEcfTooLargePlain{"file size too large", kPlainCaption};
inline constexpr Message kEcfCreatedFail{"ECF File created fail", kPlainCaption};
inline constexpr Message kEcfFormatError{"define.ecf format error", kPlainCaption};

} // namespace kestrel
