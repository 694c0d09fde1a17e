#include "CliSession.h"

#include "core/CfgDirectory.h"
#include "protocol/dispatch/ProtocolMessages.h"
#include "protocol/settings/SettingsFile.h"
#include "protocol/words/OutcomeWords.h"

#include <QFile>
#include <QTimer>

namespace kestrel::cli {

const std::filesystem::path& CfgDirectory() {
    static const std::filesystem::path dir = QFile::encodeName(GetCfgDirectory()).toStdString();
    return dir;
}

CliSession::CliSession(CliNotifier& notifier, TrapHandler* traps)
    : notifier_(notifier), traps_(traps) {
    // What the window says in boxes, the command line says in lines.
    QObject::connect(&events_, &CoreEvents::sendFailed, [this](const SendFailure& failure) {
        std::string storage;
        notifier_.Show(SendFailureMessage(failure, storage));
        Wake();
    });
    QObject::connect(&events_, &CoreEvents::statusReply, [this](const StatusReply& reply) {
        std::string storage;
        notifier_.Show(StatusReplyMessage(reply, storage));
        Wake();
    });
    QObject::connect(&events_, &CoreEvents::setConfirmed, [this](const SetConfirmation&) {
        notifier_.Show(kSetSuccessful);
        Wake();
    });
    QObject::connect(&events_, &CoreEvents::discoveryTableFull, [this] {
        notifier_.Show(kDiscoveryTableFull);
        Wake();
    });
    QObject::connect(&events_, &CoreEvents::agentStored, [this](const AgentStored&) { Wake(); });
}

bool CliSession::Open() {
    if (!LoadSettingsFile(CfgDirectory() / "define.ecf", notifier_, settings_))
        return false;
    network_ = std::make_unique<NetworkSession>(NetworkSession::Parts{
        .settings = settings_,
        .exchange = exchange_,
        .tables = tables_,
        .lists = lists_,
        .events = events_,
        .notifier = notifier_,
        .traps = traps_,
    });
    // The window goes on without the broadcast or unicast socket; a command
    // that cannot send what it was asked to is better stopped at once.
    return network_->OpenBroadcastSocket() && network_->OpenMulticastSocket() &&
           network_->OpenUnicastSocket();
}

void CliSession::Wake() {
    if (loop_ && done_ && done_())
        loop_->quit();
}

bool CliSession::WaitUntil(const std::function<bool()>& done, int timeout_ms) {
    if (done())
        return true;
    if (signals_.stopped())
        return false;
    QEventLoop loop;
    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, &loop, &QEventLoop::quit);
    QObject::connect(&signals_, &StopSignals::Stop, &loop, &QEventLoop::quit);
    if (timeout_ms >= 0)
        deadline.start(timeout_ms);
    // Waits do not nest: an outcome handler runs inside this loop and only
    // wakes it.
    QEventLoop* const outer_loop = loop_;
    std::function<bool()> outer_done = std::move(done_);
    loop_ = &loop;
    done_ = done;
    loop.exec();
    loop_ = outer_loop;
    done_ = std::move(outer_done);
    return done();
}

void CliSession::RunUntilStopped() {
    if (signals_.stopped())
        return;
    QEventLoop loop;
    QObject::connect(&signals_, &StopSignals::Stop, &loop, &QEventLoop::quit);
    loop.exec();
}

} // namespace kestrel::cli
