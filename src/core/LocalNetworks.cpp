#include "LocalNetworks.h"

#include <QNetworkAddressEntry>
#include <QNetworkInterface>

namespace kestrel {

std::vector<LocalNetwork> ReadLocalNetworks() {
    std::vector<LocalNetwork> networks;
    const QList<QNetworkInterface> interfaces = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface& nic : interfaces) {
        if (!nic.flags().testFlag(QNetworkInterface::IsUp))
            continue;
        for (const QNetworkAddressEntry& entry : nic.addressEntries()) {
            if (entry.ip().protocol() != QAbstractSocket::IPv4Protocol)
                continue;
            networks.push_back({entry.ip().toIPv4Address(), entry.netmask().toIPv4Address()});
        }
    }
    return networks;
}

} // namespace kestrel
