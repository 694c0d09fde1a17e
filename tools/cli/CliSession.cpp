#include "CliSession.h"

#include "UserFiles.h"
#include "core/CfgDirectory.h"
#include "core/CfgPreparation.h"
#include "protocol/dispatch/ProtocolMessages.h"
#include "protocol/settings/SettingsFile.h"
#include "protocol/words/OutcomeWords.h"

#include <QCoreApplication>
#include <QFile>
#include <QTimer>

#include <cstdio>

namespace kestrel::cli {

namespace {

const CfgLocation& Location() {
    static const CfgLocation cfg = CurrentCfgLocation();
    return cfg;
}

} // namespace

const std::filesystem::path& CfgDirectory() {
    static const std::filesystem::path dir = [] {
        // A user who never started the window gets the folder the window
        // would make, with the installed define.ecf.
        const QString problem =
            PrepareCfgLocation(Location(), QCoreApplication::applicationDirPath());
        if (!problem.isEmpty())
            std::fprintf(stderr, "kestrel-cli: %s\n", problem.toLocal8Bit().constData());
        return std::filesystem::path(QFile::encodeName(Location().path).toStdString());
    }();
    return dir;
}

std::string CfgFolderText() {
    return CfgSourceText(Location().source).toStdString() + " " + CfgDirectory().string();
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
    const std::filesystem::path ecf = CfgDirectory() / "define.ecf";
    if (!CheckReadableFile(ecf)) {
        std::fprintf(stderr, "kestrel-cli: define.ecf was looked up in %s\n",
                     CfgFolderText().c_str());
        return false;
    }
    if (!LoadSettingsFile(ecf, notifier_, settings_))
        return false;
    // The ports are fixed: one program per computer (and namespace) holds
    // them, taken before any socket.
    guard_ = std::make_unique<InstanceGuard>(settings_.base_port);
    if (guard_->state() == InstanceGuard::State::HeldByOther) {
        std::fprintf(stderr, "kestrel-cli: %s\n", guard_->Explanation().toLocal8Bit().constData());
        return false;
    }
    if (guard_->state() == InstanceGuard::State::Failed)
        std::fprintf(stderr, "kestrel-cli: warning: %s\n",
                     guard_->Explanation().toLocal8Bit().constData());
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

bool CliSession::Discover(int timeout_ms) {
    std::optional<bool> sent;
    const QMetaObject::Connection connection =
        QObject::connect(network_.get(), &NetworkSession::discoverySent, [&](bool ok) {
            sent = ok;
            Wake();
        });
    network_->Discover();
    WaitUntil([&] { return sent.has_value(); }, 5000);
    QObject::disconnect(connection);
    if (!sent.value_or(false))
        return false;
    WaitUntil([] { return false; }, timeout_ms);
    return true;
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
    // Stopped by a signal: what has already arrived is still known, so it is
    // taken in before the command says what it knows.
    if (signals_.stopped())
        QCoreApplication::processEvents();
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
