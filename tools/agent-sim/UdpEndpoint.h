#pragma once
// One UDP socket bound to a port on every local address, which tells for each
// datagram the address it was sent to and can send from any agent address
// (IP_PKTINFO). POSIX only.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace kestrel::sim {

class UdpEndpoint {
public:
    // Binds 0.0.0.0:port; joins the group when one is given. Empty on failure,
    // with the reason in error.
    static std::optional<UdpEndpoint> Open(uint16_t port, std::optional<uint32_t> group,
                                           std::string& error);

    UdpEndpoint(UdpEndpoint&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
    UdpEndpoint& operator=(UdpEndpoint&& other) noexcept;
    UdpEndpoint(const UdpEndpoint&) = delete;
    UdpEndpoint& operator=(const UdpEndpoint&) = delete;
    ~UdpEndpoint();

    int fd() const { return fd_; }

    struct Datagram {
        std::vector<uint8_t> bytes;
        uint32_t src = 0;
        uint16_t src_port = 0;
        uint32_t dst = 0;
        int card = 0; // the interface it came by
    };
    // One waiting datagram (cut at 65535 bytes), or nothing when none waits.
    std::optional<Datagram> Receive();
    // Sends from the given local address; 0 on success, else errno.
    int Send(uint32_t from, uint32_t to, uint16_t port, std::span<const uint8_t> bytes);

private:
    explicit UdpEndpoint(int fd) : fd_(fd) {}
    int fd_ = -1;
};

} // namespace kestrel::sim
