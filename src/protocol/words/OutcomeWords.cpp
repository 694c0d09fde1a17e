#include "protocol/words/OutcomeWords.h"

#include "protocol/dispatch/ProtocolMessages.h"
#include "protocol/polling/Polling.h"
#include "protocol/polling/PollingMessages.h"
#include "protocol/set/SetMessages.h"
#include "protocol/upgrade/UpgradeMessages.h"
#include "protocol/wire/PacketHeader.h"

namespace kestrel {

Message SendFailureMessage(const SendFailure& failure, std::string& storage) {
    switch (failure.kind) {
    case SendKind::Poll:
        storage = PollingErrorText(failure.error_code);
        return kPollingError.WithText(storage);
    case SendKind::Resend:
        return kResendFail;
    case SendKind::BroadcastOption:
        return kSetSocketOptError;
    case SendKind::Discovery:
        return kDiscoverySendFail;
    case SendKind::SetBroadcast:
        return kUdpSetSendError;
    case SendKind::SetUnicast:
        return kUnicastSetSendError;
    case SendKind::PasswordUnicast:
        return kUnicastPasswordSendError;
    case SendKind::UpgradeTrigger:
        return kTriggerSendError;
    case SendKind::TftpWriteRequest:
        return kWriteRequestSendError;
    case SendKind::TftpData:
        return kDataSendError;
    }
    return kDiscoverySendFail;
}

Message RediscoveryMessage(Rediscovery::Outcome outcome) {
    switch (outcome) {
    case Rediscovery::Outcome::Succeeded:
        return kUpgradeSuccessful;
    case Rediscovery::Outcome::BroadcastRefused:
        return kSetSocketOptError;
    case Rediscovery::Outcome::SendFailed:
        return kDiscoverySendFail;
    case Rediscovery::Outcome::Failed:
    case Rediscovery::Outcome::None:
    case Rediscovery::Outcome::Running:
        break;
    }
    return kUpgradeFail;
}

Message StatusReplyMessage(const StatusReply& reply, std::string& storage) {
    storage = ReplyStatusMessage(reply.status);
    return kReplyStatus.WithText(storage);
}

} // namespace kestrel
