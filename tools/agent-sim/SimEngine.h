#pragma once
// Every simulated agent and what it does with a datagram, a tick of the clock
// or a control line. No sockets: datagrams come in as bytes with their
// addresses, and what the agents send is collected in an outbox that the
// program (or a test) empties.

#include "Agent.h"
#include "ReplyShaper.h"
#include "TftpReceiver.h"

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace kestrel::sim {

struct SimOptions {
    uint16_t base_port = 5010;
    uint32_t multicast_group = 0xEFFFFFFA; // 239.255.255.250
    uint32_t workstation = 0xC6120001;     // 198.18.0.1: traps go here by default
    uint16_t trap_port = 0;                // 0: base port + 1
    Millis trigger_valid_ms = 60000;       // how long a trigger allows a TFTP write
    Millis tftp_idle_ms = 10000;           // a transfer without DATA for this long is dropped
    Millis reboot_delay_ms = 1000;         // from the stored image to the reboot
    Millis dedup_ms = 3000;                // repeated set request: answered, not applied again

    uint16_t AgentPort() const { return static_cast<uint16_t>(base_port + 2); }
    uint16_t TrapPort() const {
        return trap_port ? trap_port : static_cast<uint16_t>(base_port + 1);
    }
};

enum class Channel { Agent, Tftp };

struct Outgoing {
    Channel channel = Channel::Agent;
    uint32_t from = 0; // the agent's address
    uint32_t to = 0;
    uint16_t port = 0;
    std::vector<uint8_t> bytes;
    bool paced = false; // one of many answers to one broadcast or multicast request
};

class SimEngine {
public:
    using ReportFn = std::function<void(const std::string&)>;

    SimEngine(SimOptions options, std::vector<Agent> agents, ReportFn report, Millis now);

    // A datagram on the agent port; dst is the address it was sent to, card
    // the interface it came by (0: unknown).
    void OnAgentDatagram(std::span<const uint8_t> bytes, uint32_t src, uint16_t src_port,
                         uint32_t dst, Millis now, int card = 0);
    // A datagram on the TFTP port.
    void OnTftpDatagram(std::span<const uint8_t> bytes, uint32_t src, uint16_t src_port,
                        uint32_t dst, Millis now);
    // Timers: falling silent, flapping, reboots, periodic traps, stale
    // transfers; also releases held answers that are due.
    void Tick(Millis now);
    // Moves held answers (delay_ms, reorder) that are due to the outbox.
    void ReleaseHeld(Millis now);
    // When the next held answer is due; nothing when none is held.
    std::optional<Millis> NextHeldDue() const { return shaper_.NextDue(); }
    // One control line; returns false for "quit".
    bool OnControlLine(std::string_view line, Millis now);

    std::vector<Outgoing> TakeOutbox();
    const std::vector<Agent>& Agents() const { return agents_; }

private:
    Agent* FindByIp(uint32_t ip);
    void HandleRequest(Agent& a, const PacketHeader& h, std::span<const uint8_t> bytes,
                       uint32_t src, uint16_t src_port, bool group, Millis now);
    void HandleSet(Agent& a, const PacketHeader& h, std::span<const uint8_t> bytes, uint32_t src,
                   uint16_t src_port, Millis now);
    void HandleTrigger(Agent& a, const PacketHeader& h, std::span<const uint8_t> bytes,
                       uint32_t src, uint16_t src_port, Millis now);
    void Reply(const Agent& a, uint32_t from, uint32_t to, uint16_t port,
               std::vector<uint8_t> bytes, uint16_t command, int status, uint16_t sequence,
               bool paced);
    void SendTrap(Agent& a, std::string_view text);
    void SendBurst(const Agent& a, int count);
    void Shape(const Agent& a, Outgoing o);
    void SendTftp(const Agent& a, uint32_t to, uint16_t port, std::vector<uint8_t> bytes);
    void ChangeAddress(Agent& a, uint32_t new_ip);
    std::string Say(std::string line);
    // Agents a control line names: an address or "all".
    std::vector<Agent*> Select(std::string_view which);

    SimOptions options_;
    std::vector<Agent> agents_;
    std::unordered_map<uint32_t, std::size_t> by_ip_;
    ReportFn report_;
    std::vector<Outgoing> outbox_;
    ReplyShaper shaper_;
    Millis now_ = 0; // time of the datagram, tick or line being handled

    struct Transfer {
        uint32_t client = 0;
        uint16_t client_port = 0;
        Millis last_activity = 0;
        TftpReceiver receiver;
        bool ack_dropped = false; // tftp_drop_ack acts once per transfer
    };
    // Sends the ACK unless tftp_drop_ack names its block the first time.
    void SendTftpAck(const Agent& a, Transfer& t, std::vector<uint8_t> ack, uint16_t block);
    std::map<uint32_t, Transfer> transfers_; // by agent address
};

std::string CommandName(uint16_t command);

} // namespace kestrel::sim
