#pragma once
// Tells systemd (Type=notify) how the service stands; nothing happens when
// the service was not started by systemd (no NOTIFY_SOCKET).

namespace kestrel::serve {

void NotifyReady();
void NotifyReloading(); // with the monotonic time, for systemd 253 and later
void NotifyStopping();
void NotifyStatus(const char* text);

} // namespace kestrel::serve
