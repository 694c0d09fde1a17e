#pragma once
// This computer's network cards with their first IPv4 address, as the
// system lists them now.

#include "ReportArguments.h"

#include <vector>

namespace kestrel::igmp_report {

std::vector<Card> ReadCards();

} // namespace kestrel::igmp_report
