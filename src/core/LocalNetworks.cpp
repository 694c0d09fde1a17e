#include "LocalNetworks.h"

#include <QNetworkAddressEntry>
#include <QNetworkInterface>

namespace kestrel {

std::vector<LocalNetwork> ReadLocalNetworks() {
    std::vector<LocalNetwork> networks;
    const QList<QNetworkInterface> interfaces = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface& card : interfaces) {
        const QNetworkInterface::InterfaceFlags flags = card.flags();
        if (!flags.testFlag(QNetworkInterface::IsUp))
            continue;
        const bool broadcast = flags.testFlag(QNetworkInterface::IsRunning) &&
                               flags.testFlag(QNetworkInterface::CanBroadcast) &&
                               !flags.testFlag(QNetworkInterface::IsLoopBack);
        for (const QNetworkAddressEntry& entry : card.addressEntries()) {
            if (entry.ip().protocol() != QAbstractSocket::IPv4Protocol)
                continue;
            networks.push_back({.address = entry.ip().toIPv4Address(),
                                .mask = entry.netmask().toIPv4Address(),
                                .card_index = card.index(),
                                .card_name = card.name().toStdString(),
                                .broadcast_card = broadcast});
        }
    }
    return networks;
}

} // namespace kestrel
