#pragma once
// How kestrel-igmp-report ends, for the keep-alive that runs it: its exit
// status is all it tells the program that started it.

namespace kestrel {

enum IgmpReportStatus : int {
    kIgmpReportSent = 0,        // or, with --check, a report could be sent
    kIgmpReportNotSent = 1,     // the system would not send it, or a privilege stayed
    kIgmpReportRefused = 2,     // not a group a report is for, not a card that carries one
    kIgmpReportNoRawSocket = 3, // it may not open the raw socket: no capability
};

} // namespace kestrel
