#pragma once
// The keep-alive's raw IGMP socket. A process with CAP_NET_RAW opens it
// itself; an unprivileged one asks kestrel-igmp-socket, a small helper that
// the package gives that capability alone, to open it and hand it over.

#include <QString>

namespace kestrel {

// -1 when this process may not.
int OpenRawIgmpSocket();

// Starts the helper, receives the socket it opened; -1 when it did not
// start, failed or sent none within two seconds.
int ReceiveRawIgmpSocket(const QString& helper);

// Where the helper of a program in program_dir is: beside it (the build
// tree), else in ../libexec/kestrel-utility (an installed program).
QString RawIgmpHelperPath(const QString& program_dir);

} // namespace kestrel
