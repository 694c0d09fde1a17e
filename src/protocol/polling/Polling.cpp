#include "protocol/polling/Polling.h"

#include "protocol/polling/PollAccounting.h"
#include "protocol/polling/PollingMessages.h"
#include "protocol/wire/PacketHeader.h"

#include <algorithm>

namespace kestrel {

namespace {

// Clears a flag when the walk ends, however it ends.
class WalkGuard {
public:
    explicit WalkGuard(bool& flag) : flag_(flag) { flag_ = true; }
    WalkGuard(const WalkGuard&) = delete;
    WalkGuard& operator=(const WalkGuard&) = delete;
    ~WalkGuard() { flag_ = false; }

private:
    bool& flag_;
};

} // namespace

std::array<uint8_t, 40> PollRequest(const ProtocolSettings& settings) {
    std::array<uint8_t, kHeaderSize> request;
    BuildRequestHeader(request, CMD_POLL, settings.utility_id);
    return request;
}

std::string PollingErrorText(int error_code) {
    std::string text(kPollingError.text);
    text.replace(text.find("%d"), 2, std::to_string(error_code));
    return text;
}

PollingPass::PollingPass(const ProtocolSettings& settings, DeviceTable& monitor,
                         DatagramSender& sender, ProtocolEvents& events)
    : settings_(settings), monitor_(monitor), sender_(sender), events_(events) {}

int PollingPass::Run(const int& period_seconds) {
    if (running_)
        return -1;
    const WalkGuard guard(running_);
    const auto request = PollRequest(settings_);
    const uint16_t port = settings_.AgentPort();
    bool reported = false;
    // The count is read again after every send: the table may change while
    // a box is up, and the walk must not run past the records in use.
    for (int i = 0; monitor_.InUse(i); ++i) {
        DeviceRecord& record = monitor_.records[static_cast<std::size_t>(i)];
        AccountPoll(record);
        if (sender_.SendDatagram(SocketKind::Unicast, request, record.ip, port) || reported)
            continue;
        reported = true;
        events_.OnSendFailed({SendKind::Poll, sender_.LastSendError()});
    }
    const int seconds = std::clamp(period_seconds, 0, 24 * 60 * 60);
    return seconds * 1000;
}

AliveCheck::AliveCheck(const ProtocolSettings& settings, DeviceTable& monitor,
                       DatagramSender& sender, ListHooks& lists, ProtocolEvents& events)
    : settings_(settings), monitor_(monitor), sender_(sender), lists_(lists), events_(events) {}

void AliveCheck::Tick(const NotAliveLog& log) {
    if (ticking_)
        return;
    const WalkGuard guard(ticking_);
    const auto request = PollRequest(settings_);
    const uint16_t port = settings_.AgentPort();
    bool reported = false;
    for (int i = 0; monitor_.InUse(i); ++i) {
        DeviceRecord& record = monitor_.records[static_cast<std::size_t>(i)];
        // Accounting only ever raises the count from 0; a lower value is
        // treated as no miss.
        if (record.reply_flag != kNotReplied || record.missed_polls <= 0)
            continue;
        if (record.missed_polls >= kNotAliveThreshold) {
            log(FieldText(record.ip_text));
            // The log's box may have let the table change.
            if (!monitor_.InUse(i))
                break;
            const bool first = record.row_state != kRowNotAlive;
            record.row_state = kRowNotAlive;
            record.status_image = kImageNotAlive;
            lists_.RefreshMonitorRow(i);
            events_.OnAgentLost({i, std::string(FieldText(record.ip_text)),
                                 std::string(FieldText(record.mac_text)), first});
            // A listener's box may have let the table change too.
            if (!monitor_.InUse(i))
                break;
            continue;
        }
        if (record.status_image == kImageNotAlive)
            continue;
        AccountPoll(record);
        if (sender_.SendDatagram(SocketKind::Unicast, request, record.ip, port) || reported)
            continue;
        reported = true;
        events_.OnSendFailed({SendKind::Resend, sender_.LastSendError()});
    }
}

} // namespace kestrel
