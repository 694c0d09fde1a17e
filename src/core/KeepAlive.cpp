#include "KeepAlive.h"

#include "LocalNetworks.h"
#include "RawIgmpSocket.h"
#include "SocketMessages.h"
#include "protocol/discovery/Discovery.h"
#include "protocol/discovery/IgmpReport.h"
#include "protocol/wire/Ipv4Text.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>
#include <utility>

namespace kestrel {

namespace {
constexpr int kSecondMs = 1000;
} // namespace

KeepAlive::KeepAlive(const ProtocolSettings& settings, Notifier& notifier, QString helper,
                     QObject* parent)
    : QObject(parent), settings_(settings), notifier_(notifier), helper_(std::move(helper), this),
      timer_(this) {
    timer_.setObjectName(QStringLiteral("keepAliveTimer"));
    timer_.setSingleShot(true);
    timer_.setTimerType(Qt::PreciseTimer);
    connect(&timer_, &QTimer::timeout, this, &KeepAlive::Step);
    connect(&helper_, &IgmpReportHelper::checked, this, &KeepAlive::HelperChecked);
    connect(&helper_, &IgmpReportHelper::reported, this, &KeepAlive::HelperReported);
}

KeepAlive::~KeepAlive() {
    if (socket_ >= 0)
        ::close(socket_);
}

void KeepAlive::Start() {
    if (started_)
        return;
    started_ = true;
    socket_ = OpenRawIgmpSocket();
    group_ = MulticastGroupAddress(settings_);
    if (group_)
        report_ = BuildIgmpReport(*group_);
    if (settings_.multicast_timer_flag != 0)
        NeedSender();
    timer_.start(kSecondMs);
}

void KeepAlive::NeedSender() {
    if (socket_ >= 0 || helper_state_ != HelperState::NotAsked)
        return;
    helper_state_ = HelperState::Asking;
    helper_.Check();
}

void KeepAlive::HelperChecked(bool can_send) {
    helper_state_ = can_send ? HelperState::Usable : HelperState::Unusable;
    if (!can_send)
        SayNoReports();
}

void KeepAlive::HelperReported(bool sent, bool no_raw_socket) {
    if (sent)
        ++reports_sent_;
    if (no_raw_socket) {
        helper_state_ = HelperState::Unusable;
        SayNoReports();
    }
}

void KeepAlive::SayNoReports() {
    if (said_)
        return;
    said_ = true;
    std::string text(kKeepAliveNoRawSocket.text);
    const QByteArray helper = helper_.program().toLocal8Bit();
    if (!helper.isEmpty())
        text += "\n\nTo allow it, an administrator can give the program's helper the "
                "capability it needs:\n    setcap cap_net_raw+ep " +
                helper.toStdString();
    notifier_.Show(kKeepAliveNoRawSocket.WithText(text));
}

void KeepAlive::Step() {
    if (!started_)
        return;
    timer_.stop();
    if (settings_.multicast_timer_flag != 0)
        NeedSender();
    if (counter_.Tick(settings_.multicast_timer_flag, settings_.multicast_timer))
        SendReport();
    // Re-armed after the work, so one tick never overlaps the next.
    timer_.start(kSecondMs);
}

void KeepAlive::SendReport() {
    if (!group_)
        return;
    // The membership is kept on every card the group is joined on.
    const std::vector<LocalNetwork> cards = BroadcastCards(ReadLocalNetworks());
    if (socket_ >= 0) {
        if (SendOwnReport(cards))
            ++reports_sent_;
        return;
    }
    if (helper_state_ != HelperState::Usable)
        return;
    // Counted when the helper's runs have ended (HelperReported).
    std::vector<std::string> names;
    for (const LocalNetwork& card : cards)
        names.push_back(card.card_name);
    helper_.Report(*group_, names);
}

bool KeepAlive::SendOwnReport(const std::vector<LocalNetwork>& cards) {
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = htonl(*group_);
    const auto send = [&] {
        return ::sendto(socket_, report_.data(), report_.size(), 0,
                        reinterpret_cast<sockaddr*>(&to),
                        sizeof to) == static_cast<ssize_t>(report_.size());
    };
    // Without a card, where the system routes the group.
    bool sent = false;
    if (cards.empty())
        sent = send();
    for (const LocalNetwork& card : cards) {
        ip_mreqn on{};
        on.imr_ifindex = card.card_index;
        if (::setsockopt(socket_, IPPROTO_IP, IP_MULTICAST_IF, &on, sizeof on) == 0)
            sent = send() || sent;
    }
    // A failed send is not reported; the next period tries again.
    return sent;
}

} // namespace kestrel
