#pragma once
// The keep-alive's own raw IGMP socket, for a process that has CAP_NET_RAW
// itself (run by root, or given the capability on purpose). An unprivileged
// process opens none: kestrel-igmp-report sends its reports (IgmpReportHelper).

namespace kestrel {

// -1 when this process may not.
int OpenRawIgmpSocket();

} // namespace kestrel
