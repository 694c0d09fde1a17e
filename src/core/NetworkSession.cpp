#include "NetworkSession.h"

#include "core/IgmpReportHelper.h"
#include "protocol/discovery/Discovery.h"

#include <QCoreApplication>

namespace kestrel {

NetworkSession::NetworkSession(const Parts& parts, QObject* parent)
    : QObject(parent), settings_(parts.settings), tables_(parts.tables), lists_(parts.lists),
      events_(parts.events), network_boxes_(parts.notifier),
      dispatcher_(parts.settings, parts.exchange, parts.tables, parts.lists, parts.events,
                  parts.traps),
      sockets_(parts.settings, parts.notifier),
      keep_alive_(parts.settings, network_boxes_,
                  IgmpReportHelperPath(QCoreApplication::applicationDirPath())) {
    sockets_.SetReceiveCallback(
        [this](std::span<const uint8_t> datagram, uint32_t sender_ip, SocketKind) {
            dispatcher_.DispatchDatagram(datagram, sender_ip);
        });
}

void NetworkSession::Discover() {
    OnDiscovery(
        settings_, tables_, sockets_, lists_, events_,
        [this](std::optional<SendFailure> failure) { Q_EMIT discoverySent(!failure.has_value()); });
}

std::string NetworkSession::CardOf(uint32_t address) const {
    for (const LocalNetwork& network : sockets_.networks())
        if (network.Holds(address))
            return network.card_name;
    return {};
}

} // namespace kestrel
