#pragma once
// Puts the one membership report on the wire.

#include "ReportArguments.h"

namespace kestrel::igmp_report {

// On the raw IGMP socket fd: from the card's address, out of that card only,
// with a time to live of 1. False when the system would not send it.
bool SendReport(int fd, const ReportRequest& request);

} // namespace kestrel::igmp_report
