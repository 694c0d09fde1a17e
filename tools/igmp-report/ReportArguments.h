#pragma once
// What kestrel-igmp-report is asked to do, checked before anything is sent:
// the group must be one a membership report is sent for, the card one of
// this computer's that can carry it. Plain data in, plain data out.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace kestrel::igmp_report {

// One of this computer's network cards, as the system lists it.
struct Card {
    std::string name;
    int index = 0;
    std::optional<uint32_t> address; // its first IPv4 address
    bool up = false;
    bool multicast = false;
};

// The one report to send: for the group, out of the card, from its address.
struct ReportRequest {
    uint32_t group = 0;
    int card_index = 0;
    uint32_t source = 0;
    bool operator==(const ReportRequest&) const = default;
};

enum class Action { Send, Check, Help, Version, Refuse };

struct Arguments {
    Action action = Action::Refuse;
    ReportRequest request; // Send only
    std::string refusal;   // Refuse only: why, for standard error
};

// args: the arguments after the program's name.
Arguments CheckArguments(std::span<const std::string_view> args, std::span<const Card> cards);

} // namespace kestrel::igmp_report
