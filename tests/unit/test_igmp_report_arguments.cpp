// What kestrel-igmp-report accepts before it sends anything: a group a
// membership report is for, and a card of this computer that carries it.
#include "ReportArguments.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

using namespace kestrel::igmp_report;

namespace {

// The simulated LAN's cards, and a few that cannot carry a report.
const std::vector<Card> kCards = {
    {"lo", 1, 0x7F000001, true, false},
    {"kws0", 4, 0xC6120001, true, true},   // 198.18.0.1
    {"kag0", 5, std::nullopt, true, true}, // no IPv4 address
    {"eth9", 7, 0x0A000001, false, true},  // down
};

TEST(IgmpReportArguments, AReportForAGroupOnALocalCard) {
    const struct {
        std::vector<std::string_view> args;
        ReportRequest request;
    } cases[] = {
        {{"239.255.255.250", "kws0"}, {0xEFFFFFFA, 4, 0xC6120001}},
        {{"224.0.1.0", "kws0"}, {0xE0000100, 4, 0xC6120001}},       // just past 224.0.0.0/24
        {{"239.255.255.255", "kws0"}, {0xEFFFFFFF, 4, 0xC6120001}}, // the last group
        {{"232.1.2.3", "kws0"}, {0xE8010203, 4, 0xC6120001}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.args[0]));
        const Arguments checked = CheckArguments(c.args, kCards);
        EXPECT_EQ(checked.action, Action::Send) << checked.refusal;
        EXPECT_EQ(checked.request, c.request);
    }
}

TEST(IgmpReportArguments, RefusesAnythingElse) {
    const struct {
        std::vector<std::string_view> args;
        std::string_view why; // found in the refusal
    } cases[] = {
        {{}, "expects a multicast group and a network card"},
        {{"239.255.255.250"}, "expects a multicast group and a network card"},
        {{"239.255.255.250", "kws0", "kws0"}, "expects a multicast group and a network card"},
        {{"239.255.255.250", "kws0", "--frobnicate"}, "unknown option '--frobnicate'"},
        {{"-x"}, "unknown option '-x'"},
        {{"--check", "239.255.255.250"}, "--check takes no other argument"},
        {{"239.255.255.250", "kws0", "--help"}, "--help takes no other argument"},
        // Not a multicast group, or not written as the keep-alive writes one.
        {{"198.18.0.1", "kws0"}, "'198.18.0.1' is not a multicast group"},
        {{"255.255.255.255", "kws0"}, "is not a multicast group"},
        {{"223.255.255.255", "kws0"}, "is not a multicast group"},
        {{"240.0.0.0", "kws0"}, "is not a multicast group"},
        {{"239.255.255", "kws0"}, "is not a multicast group"},
        {{"239.255.255.250.1", "kws0"}, "is not a multicast group"},
        {{"239.255.255.256", "kws0"}, "is not a multicast group"},
        {{"0xEF.255.255.250", "kws0"}, "is not a multicast group"},
        {{" 239.255.255.250", "kws0"}, "is not a multicast group"},
        {{"239.255.255.250 ", "kws0"}, "is not a multicast group"},
        {{"", "kws0"}, "is not a multicast group"},
        // The local network's control groups are never reported.
        {{"224.0.0.1", "kws0"}, "'224.0.0.1' is a local network control group"},
        {{"224.0.0.22", "kws0"}, "is a local network control group"},
        {{"224.0.0.255", "kws0"}, "is a local network control group"},
        // Not a card that can carry it.
        {{"239.255.255.250", "kws9"}, "no network card named 'kws9'"},
        {{"239.255.255.250", ""}, "no network card named ''"},
        {{"239.255.255.250", "kws0 "}, "no network card named 'kws0 '"},
        {{"239.255.255.250", "eth9"}, "network card 'eth9' is down"},
        {{"239.255.255.250", "lo"}, "network card 'lo' does not carry multicast"},
        {{"239.255.255.250", "kag0"}, "network card 'kag0' has no IPv4 address"},
    };
    for (const auto& c : cases) {
        std::string args;
        for (const std::string_view a : c.args)
            args += "[" + std::string(a) + "]";
        SCOPED_TRACE(args);
        const Arguments checked = CheckArguments(c.args, kCards);
        EXPECT_EQ(checked.action, Action::Refuse);
        EXPECT_NE(checked.refusal.find(c.why), std::string::npos) << checked.refusal;
        EXPECT_EQ(checked.request, ReportRequest{});
    }
}

TEST(IgmpReportArguments, OptionsAlone) {
    const struct {
        std::string_view arg;
        Action action;
    } cases[] = {
        {"--check", Action::Check},
        {"--help", Action::Help},
        {"-h", Action::Help},
        {"--version", Action::Version},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.arg));
        const std::vector<std::string_view> args = {c.arg};
        EXPECT_EQ(CheckArguments(args, kCards).action, c.action);
    }
}

} // namespace
