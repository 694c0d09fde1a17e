#pragma once
// What the main window talks to the network with: the three UDP sockets, the
// receive dispatcher behind them and the multicast keep-alive. Widgets reach
// it only through
// the ListHooks and Notifier seams, so it runs in tests without a window.

#include "core/CoreEvents.h"
#include "core/KeepAlive.h"
#include "core/PostedNotifier.h"
#include "core/UdpSockets.h"
#include "protocol/dispatch/Dispatcher.h"

#include <QObject>

namespace kestrel {

class NetworkSession : public QObject {
    Q_OBJECT
public:
    // What the session lends to the receive path and the discovery; the
    // settings must be loaded before the sockets are opened.
    struct Parts {
        const ProtocolSettings& settings;
        SetExchange& exchange;
        DeviceTables& tables;
        ListHooks& lists;
        CoreEvents& events;
        // Boxes of the sockets themselves (a bind that failed).
        Notifier& notifier;
        TrapHandler* traps = nullptr;
    };
    explicit NetworkSession(const Parts& parts, QObject* parent = nullptr);

    bool OpenBroadcastSocket() { return sockets_.OpenBroadcastSocket(); }
    bool OpenMulticastSocket() { return sockets_.OpenMulticastSocket(); }
    bool OpenUnicastSocket() { return sockets_.OpenUnicastSocket(); }
    void CloseSockets() { sockets_.CloseSockets(); }

    void StartKeepAlive() { keep_alive_.Start(); }

    // The Discovery button: the request leaves once the multicast re-join
    // has ended, while the window goes on.
    void Discover();
    // The name of the card whose network holds this address; empty when none.
    std::string CardOf(uint32_t address) const;

    UdpSockets& sockets() { return sockets_; }
    Dispatcher& dispatcher() { return dispatcher_; }
    KeepAlive& keepAlive() { return keep_alive_; }
    // The boxes that network events raise, shown after the read handler.
    PostedNotifier& networkBoxes() { return network_boxes_; }

Q_SIGNALS:
    // A Discovery's request has just been sent (sent false: a send failed,
    // which has been reported as well).
    void discoverySent(bool sent);

private:
    const ProtocolSettings& settings_;
    DeviceTables& tables_;
    ListHooks& lists_;
    CoreEvents& events_;
    PostedNotifier network_boxes_;
    Dispatcher dispatcher_;
    UdpSockets sockets_;
    KeepAlive keep_alive_;
};

} // namespace kestrel
