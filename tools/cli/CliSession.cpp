#include "CliSession.h"

#include "core/CfgDirectory.h"
#include "protocol/dispatch/ProtocolMessages.h"
#include "protocol/settings/SettingsFile.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTimer>

namespace kestrel::cli {

std::filesystem::path CfgDirectory() {
    return QFile::encodeName(GetCfgDirectory()).toStdString();
}

CliSession::CliSession(CliNotifier& notifier, TrapHandler* traps)
    : notifier_(notifier), traps_(traps) {}

bool CliSession::Open() {
    if (!LoadSettingsFile(CfgDirectory() / "define.ecf", notifier_, state_.settings))
        return false;
    network_ = std::make_unique<NetworkSession>(state_, lists_, notifier_, traps_);
    // The window goes on without the broadcast or unicast socket; a command
    // that cannot send what it was asked to is better stopped at once.
    return network_->OpenBroadcastSocket() && network_->OpenMulticastSocket() &&
           network_->OpenUnicastSocket();
}

bool CliSession::WaitUntil(const std::function<bool()>& done, int timeout_ms) {
    if (done())
        return true;
    QEventLoop loop;
    QTimer check;
    // Replies are stored from the socket handlers; looking a hundred times a
    // second at what they left costs nothing and needs no hook.
    check.setInterval(10);
    QElapsedTimer clock;
    clock.start();
    bool result = false;
    QObject::connect(&check, &QTimer::timeout, &loop, [&] {
        if (done()) {
            result = true;
            loop.quit();
        } else if (signals_.stopped() || (timeout_ms >= 0 && clock.elapsed() >= timeout_ms)) {
            loop.quit();
        }
    });
    QObject::connect(&signals_, &StopSignals::Stop, &loop, &QEventLoop::quit);
    check.start();
    if (!signals_.stopped())
        loop.exec();
    return result || done();
}

} // namespace kestrel::cli

namespace kestrel::cli {

void CliSession::RunUntilStopped() {
    if (signals_.stopped())
        return;
    QEventLoop loop;
    QObject::connect(&signals_, &StopSignals::Stop, &loop, &QEventLoop::quit);
    loop.exec();
}

} // namespace kestrel::cli
