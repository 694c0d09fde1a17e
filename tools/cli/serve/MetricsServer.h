#pragma once
// The HTTP side: GET /metrics answers the exposition text, anything else 404.

#include <QHttpServer>
#include <QString>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace kestrel::serve {

// Outside the exporters' range 9100-9999 (all taken); not the protocol's.
inline constexpr std::uint16_t kDefaultMetricsPort = 19823;
inline constexpr const char* kDefaultMetricsAddress = "127.0.0.1";

struct ListenAddress {
    std::string host; // an IPv4 or IPv6 address, without brackets
    std::uint16_t port = 0;
    bool operator==(const ListenAddress&) const = default;
};

// "ADDRESS:PORT", "[IPv6]:PORT", or ":PORT" / "PORT" for the default
// address; empty when it is not one of those or the address is no address.
std::optional<ListenAddress> ParseListenAddress(std::string_view text);

class MetricsServer {
public:
    explicit MetricsServer(std::function<std::string()> body);
    // Empty when listening; else why not.
    QString Listen(const ListenAddress& address);

private:
    QHttpServer server_;
    std::function<std::string()> body_;
};

} // namespace kestrel::serve
