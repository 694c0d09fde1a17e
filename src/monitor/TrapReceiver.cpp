#include "monitor/TrapReceiver.h"

#include "protocol/lists/DeviceTables.h"
#include "protocol/wire/ByteOrder.h"
#include "protocol/wire/Ipv4Text.h"

#include <cstring>

namespace kestrel {

std::optional<TrapPayload> ParseTrapPayload(std::span<const uint8_t> payload) {
    const ByteReader reader(payload);
    const std::optional<uint32_t> address = reader.U32(0);
    if (!address)
        return std::nullopt;
    const std::span<const uint8_t> rest = payload.subspan(4);
    const void* nul = std::memchr(rest.data(), 0, rest.size());
    const std::size_t length =
        nul ? static_cast<std::size_t>(static_cast<const uint8_t*>(nul) - rest.data())
            : rest.size();
    return TrapPayload{*address, {reinterpret_cast<const char*>(rest.data()), length}};
}

TrapReceiver::TrapReceiver(DeviceTable& monitor, ListHooks& lists, EventLog& log, TrapTable& table,
                           Listener on_trap)
    : monitor_(monitor), lists_(lists), log_(log), table_(table), on_trap_(std::move(on_trap)) {}

void TrapReceiver::HandleTrap(std::span<const uint8_t> fields, const DeviceRecord&) {
    OnTrap(fields);
}

void TrapReceiver::OnTrap(std::span<const uint8_t> payload) {
    const std::optional<TrapPayload> trap = ParseTrapPayload(payload);
    if (!trap)
        return;
    // The address inside the trap names the agent, not the sender's.
    const std::string ip = FormatIpv4(trap->address);
    const FindResult found = FindMonitorRecord(monitor_, ip, KeyKind::Ip);
    if (!found.found)
        return;

    DeviceRecord& record = monitor_.records[static_cast<std::size_t>(found.index)];
    record.status_image = kImageNone;
    record.row_state = kRowKnown;
    record.reply_flag = kReplied;
    record.missed_polls = 0;
    const SelectionMemo selection = lists_.RememberSelection();
    lists_.RefreshMonitorRow(found.index);
    lists_.RestoreSelection(selection);

    // One stamp for the log line and the table; a failed write is reported
    // by the log and the trap is stored all the same.
    const std::string stamp = log_.TimeStamp();
    (void)log_.LogTrapAt(stamp, ip, trap->text);
    table_.Add(stamp, ip, trap->text);
    if (on_trap_)
        on_trap_({found.index, ip, std::string(FieldText(record.mac_text)), std::string(trap->text),
                  stamp});
}

} // namespace kestrel
