#include "MetricsServer.h"

#include "MetricsText.h"

#include <QHostAddress>
#include <QHttpServerResponse>
#include <QTcpServer>

#include <charconv>
#include <memory>

namespace kestrel::serve {

std::optional<ListenAddress> ParseListenAddress(std::string_view text) {
    ListenAddress out{kDefaultMetricsAddress, 0};
    std::string_view port = text;
    if (const std::size_t colon = text.rfind(':'); colon != std::string_view::npos) {
        std::string_view host = text.substr(0, colon);
        port = text.substr(colon + 1);
        if (host.size() >= 2 && host.front() == '[' && host.back() == ']')
            host = host.substr(1, host.size() - 2);
        else if (host.find(':') != std::string_view::npos)
            return std::nullopt; // an IPv6 address needs its brackets
        if (!host.empty())
            out.host = std::string(host);
    }
    unsigned value = 0;
    const auto [end, error] = std::from_chars(port.data(), port.data() + port.size(), value);
    if (port.empty() || error != std::errc() || end != port.data() + port.size() || value == 0 ||
        value > 65535)
        return std::nullopt;
    out.port = static_cast<std::uint16_t>(value);
    if (QHostAddress(QString::fromStdString(out.host)).isNull())
        return std::nullopt;
    return out;
}

MetricsServer::MetricsServer(std::function<std::string()> body) : body_(std::move(body)) {
    server_.route(QStringLiteral("/metrics"), QHttpServerRequest::Method::Get, [this] {
        const std::string text = body_();
        return QHttpServerResponse(QByteArray(kMetricsContentType.data(),
                                              static_cast<qsizetype>(kMetricsContentType.size())),
                                   QByteArray(text.data(), static_cast<qsizetype>(text.size())));
    });
}

QString MetricsServer::Listen(const ListenAddress& address) {
    auto tcp = std::make_unique<QTcpServer>();
    if (!tcp->listen(QHostAddress(QString::fromStdString(address.host)), address.port))
        return tcp->errorString();
    server_.bind(tcp.release()); // the HTTP server takes it as its child
    return {};
}

} // namespace kestrel::serve
