#pragma once
// Keeps the program's multicast membership fresh on snooping switches: while
// the keep-alive is switched on, an IGMP membership report for the group goes
// out every period. The switch and period are read from the settings every
// second, so a change made by the Group Interval dialog takes effect within a
// second.
//
// The report needs a raw IGMP socket, hence CAP_NET_RAW. A program that has
// the capability itself sends the reports on its own socket. An unprivileged
// one never holds such a socket: the first time the keep-alive is on it asks
// kestrel-igmp-report whether it can send, and then runs it each period on
// each card; when it cannot, the keep-alive sends nothing and says so once.
// The headless service's unit grants CAP_NET_RAW itself, so the service
// opens its own raw socket and never needs the helper.

#include "core/IgmpReportHelper.h"
#include "protocol/discovery/KeepAliveCounter.h"
#include "protocol/seams/Notifier.h"
#include "protocol/settings/ProtocolSettings.h"
#include "protocol/wire/LocalNetwork.h"

#include <QObject>
#include <QTimer>

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

namespace kestrel {

class KeepAlive : public QObject {
    Q_OBJECT
public:
    // helper: the program that sends the reports for an unprivileged
    // process (IgmpReportHelperPath); empty for none.
    KeepAlive(const ProtocolSettings& settings, Notifier& notifier, QString helper,
              QObject* parent = nullptr);
    ~KeepAlive() override;

    // Opens the socket if this process may, builds the report for the group as it is now and
    // starts the one-second count. Once only; later calls do nothing.
    void Start();

    // Whether this process holds a raw socket of its own.
    bool socketOpen() const { return socket_ >= 0; }
    int reportsSent() const { return reports_sent_; }

    // One second of the count; public so that tests can step it.
    void Step();

private:
    enum class HelperState { NotAsked, Asking, Usable, Unusable };

    // While switched on without a socket of its own: asks the helper
    // whether it can send, once.
    void NeedSender();
    void HelperChecked(bool can_send);
    void HelperReported(bool sent, bool no_raw_socket);
    // The box that says no report will be sent; once.
    void SayNoReports();
    void SendReport();
    bool SendOwnReport(const std::vector<LocalNetwork>& cards);

    const ProtocolSettings& settings_;
    Notifier& notifier_;
    IgmpReportHelper helper_;
    HelperState helper_state_ = HelperState::NotAsked;
    bool said_ = false;
    KeepAliveCounter counter_;
    std::optional<uint32_t> group_;
    std::array<uint8_t, 8> report_{};
    int socket_ = -1;
    bool started_ = false;
    int reports_sent_ = 0;
    QTimer timer_; // child "keepAliveTimer"
};

} // namespace kestrel
