#pragma once
// Keeps the program's multicast membership fresh on snooping switches: while
// the keep-alive is switched on, an IGMP membership report for the group goes
// out every period. The switch and period are read from the settings every
// second, so a change made by the Group Interval dialog takes effect within a
// second.
//
// The report needs a raw IGMP socket, hence CAP_NET_RAW. An unprivileged
// program asks the helper for one the first time the keep-alive is on; when
// that fails too the keep-alive sends nothing and says so once.

#include "protocol/discovery/KeepAliveCounter.h"
#include "protocol/seams/Notifier.h"
#include "protocol/settings/ProtocolSettings.h"

#include <QObject>
#include <QTimer>

#include <array>
#include <cstdint>
#include <optional>

namespace kestrel {

class KeepAlive : public QObject {
    Q_OBJECT
public:
    // helper: the program that opens the socket for an unprivileged
    // process (RawIgmpHelperPath); empty for none.
    KeepAlive(const ProtocolSettings& settings, Notifier& notifier, QString helper,
              QObject* parent = nullptr);
    ~KeepAlive() override;

    // Opens the socket if this process may, builds the report for the group as it is now and
    // starts the one-second count. Once only; later calls do nothing.
    void Start();

    bool socketOpen() const { return socket_ >= 0; }
    int reportsSent() const { return reports_sent_; }

    // One second of the count; public so that tests can step it.
    void Step();

private:
    // While switched on: the helper's socket when there is none yet, or
    // the box that says there will be none.
    void NeedSocket();
    void SendReport();

    const ProtocolSettings& settings_;
    Notifier& notifier_;
    QString helper_;
    bool helper_asked_ = false;
    KeepAliveCounter counter_;
    std::optional<uint32_t> group_;
    std::array<uint8_t, 8> report_{};
    int socket_ = -1;
    bool started_ = false;
    int reports_sent_ = 0;
    QTimer timer_; // child "keepAliveTimer"
};

} // namespace kestrel
