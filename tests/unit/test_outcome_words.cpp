// The words the window and kestrel-cli use for what the core reports: every
// failed send, the end of a rediscovery, an agent's error status, and the
// Upgrade State, device error box and event-log line of a firmware upgrade.
// The texts are written out here, not taken from the headers that hold them.

#include "protocol/upgrade/UpgradeMessages.h"
#include "protocol/words/OutcomeWords.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

using namespace kestrel;

namespace {

struct Box {
    std::string text;
    std::string caption;
    MessageIcon icon;
    bool operator==(const Box&) const = default;
};

Box BoxOf(const Message& m) {
    return {std::string(m.text), std::string(m.caption), m.icon};
}

TEST(OutcomeWords, EveryFailedSendHasItsBox) {
    const struct {
        SendFailure failure;
        Box box;
    } cases[] = {
        {{SendKind::Poll, 101}, {"polling error 101", "Kestrel Utility", MessageIcon::Warning}},
        {{SendKind::Poll, 0}, {"polling error 0", "Kestrel Utility", MessageIcon::Warning}},
        {{SendKind::Poll, 90}, {"polling error 90", "Kestrel Utility", MessageIcon::Warning}},
        {{SendKind::Resend, 101}, {"Resend fail", "Warnibg", MessageIcon::Warning}},
        {{SendKind::BroadcastOption, 13}, {"Set socketopt error", "Error", MessageIcon::Error}},
        {{SendKind::Discovery, 101}, {"Discovery sento fail", "Error", MessageIcon::Error}},
        {{SendKind::SetBroadcast, 101}, {"UDP set send error", "Error", MessageIcon::Error}},
        {{SendKind::SetUnicast, 101}, {"Unicast set send error", "Error", MessageIcon::Error}},
        {{SendKind::PasswordUnicast, 101}, {"unicast set send error", "Error", MessageIcon::Error}},
        {{SendKind::UpgradeTrigger, 101},
         {"Upgrade trigger send error", "Error", MessageIcon::Error}},
        {{SendKind::TftpWriteRequest, 101},
         {"Write request send error", "Error", MessageIcon::Error}},
        {{SendKind::TftpData, 101}, {"Upgrade fail!!!!", "Error", MessageIcon::Error}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.box.text);
        std::string storage;
        const Message message = SendFailureMessage(c.failure, storage);
        EXPECT_EQ(BoxOf(message), c.box);
    }
}

TEST(OutcomeWords, PollingErrorWordsOutliveTheNextCall) {
    // Each box keeps its own storage: a second one does not rewrite the first.
    std::string first_storage;
    std::string second_storage;
    const Message first = SendFailureMessage({SendKind::Poll, 1}, first_storage);
    const Message second = SendFailureMessage({SendKind::Poll, 22}, second_storage);
    EXPECT_EQ(first.text, "polling error 1");
    EXPECT_EQ(second.text, "polling error 22");
}

TEST(OutcomeWords, EndOfARediscovery) {
    using O = Rediscovery::Outcome;
    const struct {
        O outcome;
        Box box;
    } cases[] = {
        {O::Succeeded, {"Upgrade successful", "information", MessageIcon::Information}},
        {O::Failed, {"Upgrade fail", "information", MessageIcon::Warning}},
        {O::BroadcastRefused, {"Set socketopt error", "Error", MessageIcon::Error}},
        {O::SendFailed, {"Discovery sento fail", "Error", MessageIcon::Error}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.box.text);
        EXPECT_EQ(BoxOf(RediscoveryMessage(c.outcome)), c.box);
    }
}

TEST(OutcomeWords, AgentErrorStatus) {
    const struct {
        int status;
        std::string text;
    } cases[] = {
        {1, "Device return : protocol version Error"},
        {2, "Device return : password error"},
        {3, "Device return : command Error"},
        {4, "Device return : parameters Error"},
        {5, "Device return : acl Error"},
        {6, "Device return : dhcp refresh fail"},
        {7, "Device return : unknow error"},
        {15, "Device return : unknow error"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.status);
        std::string storage;
        const StatusReply reply{4, c.status, "0a1b2c3d4e5f", 0xC6120105};
        EXPECT_EQ(BoxOf(StatusReplyMessage(reply, storage)),
                  (Box{c.text, "Error", MessageIcon::Error}));
    }
}

TEST(OutcomeWords, UpgradeStateForABlockJustSent) {
    const struct {
        const char* name;
        TransferProgress progress;
        std::optional<std::string> text;
    } cases[] = {
        {"first block: the text stays", {512, 0, 1000, 1, false}, std::nullopt},
        {"second block", {1024, 512, 1536, 2, false}, "Upgrade...1024/1536 bytes"},
        {"a later block", {51200, 50688, 70000, 100, false}, "Upgrade...51200/70000 bytes"},
        {"last block", {1000, 512, 1000, 2, true}, "Complete...1000/1000 bytes"},
        {"an empty last block", {1024, 1024, 1024, 3, true}, "Complete...1024/1024 bytes"},
        {"an empty file: the first block is the last", {0, 0, 0, 1, true}, "Complete...0/0 bytes"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(UpgradeStateText(c.progress), c.text);
    }
}

UpgradeEnd End(UpgradeEndKind kind) {
    UpgradeEnd end;
    end.kind = kind;
    return end;
}

TEST(OutcomeWords, UpgradeEndInTheStateTheBoxAndTheLog) {
    using K = UpgradeEndKind;
    const std::string hint = "\nThe device will reboot, please wait for a few seconds";
    UpgradeEnd completed = End(K::Completed);
    completed.sent = completed.total = 1000;
    UpgradeEnd with_hint = End(K::DeviceError);
    with_hint.device_error = "Denied";
    with_hint.reboot_hint = true;
    UpgradeEnd without_hint = End(K::DeviceError);
    without_hint.device_error = "Full";
    UpgradeEnd long_error = End(K::DeviceError);
    long_error.device_error = std::string(96, 'L') + "...";
    long_error.reboot_hint = true;
    UpgradeEnd failed = End(K::TransferFailed);
    failed.sent = 512;
    failed.total = 1000;
    UpgradeEnd trigger_refused = End(K::TriggerRefused);
    trigger_refused.status = 2;
    UpgradeEnd refused = End(K::Refused);
    refused.reason = Message{"Password lengths between 1-20", "Error", MessageIcon::Error};
    UpgradeEnd local_before = End(K::LocalFailure);
    local_before.reason = Message{"Upgrade trigger send error", "Error", MessageIcon::Error};
    UpgradeEnd local_after = End(K::LocalFailure);
    local_after.reason = Message{"Bind tftps socket error", "Error", MessageIcon::Error};
    local_after.triggered = true;
    const struct {
        const char* name;
        UpgradeEnd end;
        std::optional<std::string> state;
        std::string box; // the device error box's words
        std::optional<std::string> log;
    } cases[] = {
        {"completed", completed, std::nullopt, "", std::nullopt},
        {"device error with the reboot hint", with_hint, " ", "Denied" + hint, "Denied"},
        {"device error without the hint", without_hint, " ", "Full", "Full"},
        {"device error cut to length", long_error, " ", std::string(96, 'L') + "..." + hint,
         std::string(96, 'L') + "..."},
        {"device not found", End(K::DeviceNotFound), "Device not found", "", std::nullopt},
        {"transfer failed", failed, "Upgrade fail, translate 512/1000 bytes", "",
         "Upgrade fail, translate 512/1000 bytes"},
        {"trigger not answered", End(K::TriggerNotAnswered), "Trigger fail", "", std::nullopt},
        {"trigger refused", trigger_refused, "Trigger fail", "", std::nullopt},
        {"refused by a check", refused, std::nullopt, "", std::nullopt},
        {"local failure before the trigger was taken", local_before, std::nullopt, "",
         std::nullopt},
        {"local failure after the trigger was taken", local_after, "Wait....", "", std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(UpgradeStateText(c.end), c.state);
        EXPECT_EQ(DeviceErrorBoxText(c.end), c.box);
        EXPECT_EQ(UpgradeLogText(c.end), c.log);
    }
}

} // namespace
