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

PollingPass::PollingPass(ProgramState& state, DatagramSender& sender, Notifier& notifier)
    : state_(state), sender_(sender), notifier_(notifier) {}

int PollingPass::Run() {
    if (running_)
        return -1;
    const WalkGuard guard(running_);
    const auto request = PollRequest(state_.settings);
    const uint16_t port = state_.settings.AgentPort();
    bool reported = false;
    // The count is read again after every send: the table may change while
    // a box is up, and the walk must not run past the records in use.
    for (int i = 0; state_.monitor.InUse(i); ++i) {
        DeviceRecord& record = state_.monitor.records[static_cast<std::size_t>(i)];
        AccountPoll(record);
        if (sender_.SendDatagram(SocketKind::Unicast, request, record.ip, port) || reported)
            continue;
        reported = true;
        const std::string text = PollingErrorText(sender_.LastSendError());
        notifier_.Show(kPollingError.WithText(text));
    }
    const int seconds = std::clamp(state_.refresh_period_seconds, 0, 24 * 60 * 60);
    return seconds * 1000;
}

AliveCheck::AliveCheck(ProgramState& state, DatagramSender& sender, ListHooks& lists,
                       Notifier& notifier)
    : state_(state), sender_(sender), lists_(lists), notifier_(notifier) {}

void AliveCheck::Tick(const NotAliveLog& log) {
    if (ticking_)
        return;
    const WalkGuard guard(ticking_);
    const auto request = PollRequest(state_.settings);
    const uint16_t port = state_.settings.AgentPort();
    bool reported = false;
    for (int i = 0; state_.monitor.InUse(i); ++i) {
        DeviceRecord& record = state_.monitor.records[static_cast<std::size_t>(i)];
        // Accounting only ever raises the count from 0; a lower value is
        // treated as no miss.
        if (record.reply_flag != kNotReplied || record.missed_polls <= 0)
            continue;
        if (record.missed_polls >= kNotAliveThreshold) {
            log(FieldText(record.ip_text));
            // The log's box may have let the table change.
            if (!state_.monitor.InUse(i))
                break;
            record.row_state = kRowNotAlive;
            record.status_image = kImageNotAlive;
            lists_.RefreshMonitorRow(i);
            continue;
        }
        if (record.status_image == kImageNotAlive)
            continue;
        AccountPoll(record);
        if (sender_.SendDatagram(SocketKind::Unicast, request, record.ip, port) || reported)
            continue;
        reported = true;
        notifier_.Show(kResendFail);
    }
}

} // namespace kestrel
