// kestrel-igmp-report GROUP CARD: sends one IGMP membership report for the
// group out of the card, then ends. The package gives this small program
// alone the CAP_NET_RAW capability (or, where the file system keeps none, the
// set-user bit), so that the utility itself runs unprivileged; the keep-alive
// runs it on each card once a period. It hands nothing back but its exit
// status.

#include "Cards.h"
#include "Privileges.h"
#include "ReportArguments.h"
#include "SendReport.h"
#include "protocol/discovery/IgmpReportStatus.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string_view>
#include <vector>

#include <unistd.h>

using namespace kestrel;
using namespace kestrel::igmp_report;

namespace {

constexpr const char* kUsage =
    "Usage: kestrel-igmp-report GROUP CARD\n"
    "       kestrel-igmp-report --check\n"
    "Sends one IGMP membership report for the multicast GROUP (such as\n"
    "239.255.255.250) out of the network CARD (such as eth0), from the card's\n"
    "IPv4 address, then ends. The Kestrel Utility's keep-alive runs it.\n"
    "\n"
    "      --check    send nothing; the exit status tells whether a report could be sent\n"
    "  -h, --help     show this help and exit\n"
    "      --version  show the version and exit\n"
    "\n"
    "Exit status: 0 sent (with --check: could be sent), 1 not sent, 2 refused\n"
    "arguments, 3 no permission to open a raw socket.\n";

int NoRawSocket(int error) {
    std::fprintf(stderr, "kestrel-igmp-report: cannot open a raw IGMP socket: %s\n",
                 std::strerror(error));
    return kIgmpReportNoRawSocket;
}

} // namespace

int main(int argc, char** argv) {
    // Before a single argument is read.
    const RawSocket raw = OpenRawSocketThenDropPrivileges();
    if (!raw.dropped) {
        std::fputs("kestrel-igmp-report: cannot give up its privileges\n", stderr);
        return kIgmpReportNotSent;
    }
    const std::vector<std::string_view> args(argv + 1, argv + argc);
    const std::vector<Card> cards = ReadCards();
    const Arguments checked = CheckArguments(args, cards);
    switch (checked.action) {
    case Action::Help:
        std::fputs(kUsage, stdout);
        return kIgmpReportSent;
    case Action::Version:
        std::puts("kestrel-igmp-report " KESTREL_VERSION);
        return kIgmpReportSent;
    case Action::Refuse:
        std::fprintf(stderr,
                     "kestrel-igmp-report: %s\n"
                     "Try 'kestrel-igmp-report --help' for more information.\n",
                     checked.refusal.c_str());
        return kIgmpReportRefused;
    case Action::Check:
        return raw.fd >= 0 ? kIgmpReportSent : NoRawSocket(raw.error);
    case Action::Send:
        break;
    }
    if (raw.fd < 0)
        return NoRawSocket(raw.error);
    if (!SendReport(raw.fd, checked.request)) {
        std::fprintf(stderr, "kestrel-igmp-report: the report was not sent: %s\n",
                     std::strerror(errno));
        return kIgmpReportNotSent;
    }
    return kIgmpReportSent;
}
