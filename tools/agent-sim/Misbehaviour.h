#pragma once
// What a misbehaving agent changes in the datagrams it sends: texts meant to
// break a display, an address that belongs to someone else, error statuses
// and sequences nobody asked for. When and how often answers leave is
// ReplyShaper's job.

#include "Agent.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace kestrel::sim {

// Longest texts the agent keeps (and so the lengths of hostile texts).
inline constexpr std::size_t kMaxProductName = 40;
inline constexpr std::size_t kMaxSystemName = 20;
inline constexpr std::size_t kMaxLocation = 20;
inline constexpr std::size_t kMaxTrapText = 1400;
// Most copies of one answer (burst=, and the burst control line).
inline constexpr int kMaxBurst = 10000;
// Longest delay_ms=.
inline constexpr int kMaxDelayMs = 600000;
// Longest tftp_error_text=: past what a client reads of one datagram.
inline constexpr std::size_t kMaxTftpErrorText = 600;

// A text of exactly `length` bytes made of terminal escapes (ESC [2J, ESC ]0;
// with BEL), BS, FF, CR, LF, NUL and the C1 bytes 0x80-0x9F, repeated.
std::string HostileText(std::size_t length);

// Texts and address as the agent reports them in replies and traps.
std::string ReportedProductName(const AgentSettings& s);
std::string ReportedSystemName(const AgentSettings& s);
std::string ReportedLocation(const AgentSettings& s);
std::string ReportedTrapText(const AgentSettings& s, const std::string& text);
uint32_t ReportedAddress(const AgentSettings& s);

// The sequence a wrong_seq agent answers a set or trigger with: never the
// one that was asked.
uint16_t WrongSequence(uint16_t asked);

// Rewrites a finished reply's header for `status` and `wrong_seq`: the low 4
// bits of the status field, and the sequence of set and trigger replies.
void MisbehaveInHeader(std::vector<uint8_t>& reply, const AgentSettings& s);

} // namespace kestrel::sim
