#include "ReportArguments.h"

#include "protocol/wire/Ipv4Text.h"

#include <algorithm>

namespace kestrel::igmp_report {

namespace {

// 224.0.0.0/4: the multicast groups.
constexpr uint32_t kMulticastMask = 0xF0000000;
constexpr uint32_t kMulticastNet = 0xE0000000;
// 224.0.0.0/24: the local network's control groups, which are never reported.
constexpr uint32_t kLocalControlMask = 0xFFFFFF00;
constexpr uint32_t kLocalControlNet = 0xE0000000;

Arguments Refuse(std::string why) {
    return {Action::Refuse, {}, std::move(why)};
}

std::string Quoted(std::string_view text) {
    return "'" + std::string(text) + "'";
}

Arguments CheckReport(std::string_view group_text, std::string_view card_name,
                      std::span<const Card> cards) {
    const std::optional<uint32_t> group = ParseIpv4(group_text);
    if (!group || (*group & kMulticastMask) != kMulticastNet)
        return Refuse(Quoted(group_text) +
                      " is not a multicast group (224.0.0.0 to 239.255.255.255)");
    if ((*group & kLocalControlMask) == kLocalControlNet)
        return Refuse(Quoted(group_text) +
                      " is a local network control group, for which no report is sent");
    const auto card = std::find_if(cards.begin(), cards.end(),
                                   [&](const Card& c) { return c.name == card_name; });
    if (card == cards.end() || card->index <= 0)
        return Refuse("no network card named " + Quoted(card_name));
    if (!card->up)
        return Refuse("network card " + Quoted(card_name) + " is down");
    if (!card->multicast)
        return Refuse("network card " + Quoted(card_name) + " does not carry multicast");
    if (!card->address)
        return Refuse("network card " + Quoted(card_name) + " has no IPv4 address");
    return {Action::Send, {*group, card->index, *card->address}, {}};
}

} // namespace

Arguments CheckArguments(std::span<const std::string_view> args, std::span<const Card> cards) {
    for (const std::string_view arg : args) {
        if (arg.empty() || arg[0] != '-')
            continue;
        if (args.size() == 1 && (arg == "--help" || arg == "-h"))
            return {Action::Help, {}, {}};
        if (args.size() == 1 && arg == "--version")
            return {Action::Version, {}, {}};
        if (args.size() == 1 && arg == "--check")
            return {Action::Check, {}, {}};
        if (arg == "--help" || arg == "-h" || arg == "--version" || arg == "--check")
            return Refuse(std::string(arg) + " takes no other argument");
        return Refuse("unknown option " + Quoted(arg));
    }
    if (args.size() != 2)
        return Refuse("expects a multicast group and a network card");
    return CheckReport(args[0], args[1], cards);
}

} // namespace kestrel::igmp_report
