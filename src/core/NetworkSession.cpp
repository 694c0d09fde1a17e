#include "NetworkSession.h"

#include "core/RawIgmpSocket.h"
#include "protocol/discovery/Discovery.h"

#include <QCoreApplication>

namespace kestrel {

NetworkSession::NetworkSession(ProgramState& state, ListHooks& lists, Notifier& notifier,
                               TrapHandler* traps, QObject* parent)
    : QObject(parent), state_(state), lists_(lists), notifier_(notifier), network_boxes_(notifier),
      dispatcher_(state, lists, network_boxes_, traps), sockets_(state.settings, notifier),
      keep_alive_(state.settings, network_boxes_,
                  RawIgmpHelperPath(QCoreApplication::applicationDirPath())) {
    sockets_.SetReceiveCallback(
        [this](std::span<const uint8_t> datagram, uint32_t sender_ip, SocketKind) {
            dispatcher_.DispatchDatagram(datagram, sender_ip);
        });
}

void NetworkSession::Discover() {
    OnDiscovery(state_, sockets_, lists_, notifier_, [this] { Q_EMIT discoverySent(); });
}

} // namespace kestrel
