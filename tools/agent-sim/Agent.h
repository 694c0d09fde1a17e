#pragma once
// One simulated agent: what it is configured to be, and what happens to it
// while the simulator runs.

#include "protocol/wire/PacketHeader.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace kestrel::sim {

using Millis = int64_t; // steady clock, milliseconds

// DHCP as the agent reports it; NotReported sends no TLV_DHCP at all.
enum class DhcpReport { Disabled = 0, Enabled = 1, NotReported = 2 };

// The reply code of a poll. The utility stores any unknown code with status
// 0 like a reply; 6 pairs with CMD_POLL = 5 and, unlike 2, is never taken as
// a rediscovery after an upgrade.
inline constexpr uint16_t kCmdPollReply = 6;

struct AgentSettings {
    uint32_t ip = 0;
    MacBytes mac{};
    std::string product_name;
    std::string system_name;
    std::string location;
    std::string password;
    uint16_t interface_version = 3;
    std::array<uint32_t, 4> field_mask{};
    DhcpReport dhcp = DhcpReport::Disabled;
    int32_t group_interval = -1; // -1: not reported
    uint32_t subnet_mask = 0;
    uint32_t gateway = 0;
    uint32_t trap_ip = 0; // 0: the workstation address given on the command line
    bool loader = false;
    uint16_t protocol_version = kProtocolVersion;
    uint32_t utility_id = 0;
    bool silent = false;
    bool dhcp_refresh_fails = false;
    int silent_after_s = 0; // 0: never falls silent by itself
    int trap_every_s = 0;   // 0: no periodic traps
    std::string trap_text;
    int reboot_s = 20; // silence after a firmware upgrade
    // The workstation's card the agent sits behind: it hears broadcast and
    // group requests only when they came by that card. Empty: by any.
    std::string link;

    // Misbehaviour, for testing how the utility copes (all off by default).
    bool dup = false;        // every datagram sent twice
    int delay_ms = 0;        // every answer leaves this much later
    bool reorder = false;    // answers leave in swapped pairs
    bool wrong_seq = false;  // set and trigger replies carry a sequence not asked for
    bool set_silent = false; // set requests (not DHCP refreshes) go unread and unanswered
    int status = -1;         // 0-15: every reply carries it; -1 off
    int burst = 0;           // every answer followed by burst-1 copies; 0 or 1 off
    uint32_t claim_ip = 0;   // reported in TLV_IP_ADDRESS instead of ip; 0 off
    bool hostile = false;    // texts of full length, full of control bytes
    int flap_s = 0;          // alternates answering and silence every flap_s seconds

    // TFTP faults, each once per transfer: -1 off.
    int tftp_drop_ack = -1;  // the ACK of this block (0: of the write request) is not sent
    int tftp_error_at = -1;  // this block (0: the write request) is answered with an ERROR
    int tftp_silent_at = -1; // from this block (0: the write request) on, TFTP gets no answer
    std::string tftp_error_text = "Flash write error";
};

struct StoredImage {
    std::string name;
    uint64_t size = 0;
    uint64_t fnv1a = 0;
};

struct AgentRuntime {
    Millis silent_from = 0; // silent_after deadline, 0: none
    Millis reboot_at = 0;   // upgrade stored, reboot pending
    Millis rebooting_until = 0;
    Millis armed_until = 0; // upgrade trigger accepted, TFTP write allowed
    Millis next_trap_at = 0;
    Millis next_flap_at = 0;
    std::vector<StoredImage> images;
    // The last set request and its answer, so that the broadcast and the
    // multicast copy of one request are acted on once.
    std::vector<uint8_t> last_request;
    uint32_t last_request_from = 0;
    Millis last_request_at = 0;
    std::vector<uint8_t> last_reply;
};

struct Agent {
    AgentSettings s;
    AgentRuntime rt;

    bool Rebooting(Millis now) const { return rt.rebooting_until > now; }
    bool Answers(Millis now) const { return !s.silent && !Rebooting(now); }
};

} // namespace kestrel::sim
