#include "protocol/dispatch/Dispatcher.h"

#include "protocol/dispatch/ProtocolMessages.h"
#include "protocol/wire/Ipv4Text.h"
#include "protocol/wire/PacketHeader.h"
#include "protocol/wire/TlvCodec.h"

#include <string_view>

namespace kestrel {

namespace {

// Marks the staging record as a live, answering agent before it is stored.
void MarkAnswering(DeviceRecord& staging, uint32_t utility_id, int32_t row_state,
                   int32_t status_image) {
    staging.row_state = row_state;
    staging.utility_id = utility_id;
    staging.status_image = status_image;
    staging.missed_polls = 0;
    staging.reply_flag = kReplied;
}

void PresetFieldMask(DeviceRecord& staging) {
    for (uint32_t& word : staging.field_mask)
        word = 0;
    if (staging.interface_version == 1)
        staging.field_mask[0] = 0x1FF;
    else if (staging.interface_version == 2)
        staging.field_mask[0] = 0x3FF;
}

// Places the record at index i of the table. i == count() appends, and count
// grows before the row is shown, so the list hook always sees it in use.
// A new slot has no DHCP state worth keeping (its zero would read as
// "disabled"), so only a record already in use is merged into.
void PutRecord(DeviceTable& table, int i, const DeviceRecord& staging, bool merge) {
    if (i == table.count())
        table.Append(staging);
    else if (merge)
        MergeReplyRecord(table.records[i], staging);
    else
        table.records[i] = staging;
}

bool IsSetReply(uint16_t command) {
    return command == CMD_SET_REPLY || command == CMD_UNICAST_SET_REPLY;
}

} // namespace

void MergeReplyRecord(DeviceRecord& destination, const DeviceRecord& source) {
    const uint16_t kept_dhcp = destination.dhcp_state;
    destination = source;
    if (source.dhcp_state == kDhcpNotReported && source.interface_version >= 2)
        destination.dhcp_state = kept_dhcp;
}

Dispatcher::Dispatcher(ProgramState& state, ListHooks& lists, Notifier& notifier,
                       TrapHandler* traps)
    : state_(state), lists_(lists), notifier_(notifier), traps_(traps) {}

void Dispatcher::DispatchDatagram(std::span<const uint8_t> datagram, uint32_t sender_ip) {
    if (datagram.size() > kMaxDatagram)
        datagram = datagram.first(kMaxDatagram);
    const std::span<const uint8_t> after_header =
        datagram.size() > kHeaderSize ? datagram.subspan(kHeaderSize) : std::span<const uint8_t>{};

    // A fresh staging record for every datagram: nothing leaks from the last
    // one, and a message box that lets another datagram in cannot disturb it.
    DeviceRecord staging = ZeroRecord();
    staging.dhcp_state = kDhcpNotReported;
    staging.group_interval = -1;

    const PacketHeader header = DecodeHeader(datagram);
    const int status = header.ReplyStatus();
    SetFieldText(staging.mac_text, FormatMacText(header.mac));
    const std::string_view mac_text = FieldText(staging.mac_text);

    if (header.utility_id != state_.settings.utility_id)
        return;

    staging.protocol_version = header.protocol_version;
    staging.interface_version = header.interface_version;
    PresetFieldMask(staging);

    staging.sub_version = header.sub_version;
    if (header.sub_version != 1)
        return;

    SetFieldText(staging.ip_text, FormatIpv4(sender_ip));
    staging.ip = sender_ip;

    if (header.protocol_version != kProtocolVersion) {
        StoreHeaderOnlyReply(staging, HeaderOnlyKind::OtherProtocolVersion);
        return;
    }
    if (header.command == CMD_LOADER_REPLY) {
        StoreHeaderOnlyReply(staging, HeaderOnlyKind::Loader);
        return;
    }

    const bool from_upgrade_target = mac_text == state_.upgrade_target_mac;
    if (header.command == CMD_DISCOVERY_REPLY && from_upgrade_target)
        state_.upgrade_rediscovered = 1;

    if (header.command == CMD_SET_REPLY || header.command == CMD_UPGRADE_TRIGGER_REPLY) {
        // Both copies of a request sent by broadcast and multicast carry the
        // same sequence; only the first reply counts.
        if (header.sequence != state_.set_sequence)
            return;
        ++state_.set_sequence;
    }

    if (status != STATUS_OK) {
        notifier_.Show(kReplyStatus.WithText(ReplyStatusMessage(status)));
        if (status == STATUS_DHCP_REFRESH_FAIL)
            StoreReply(after_header, staging, StoreMode::Plain);
        return;
    }

    if (header.command == CMD_UPGRADE_TRIGGER_REPLY && from_upgrade_target) {
        state_.upgrade_trigger_acked = 1;
        return;
    }

    staging.reply_command = header.command;

    if (header.command == CMD_TRAP) {
        if (traps_)
            traps_->HandleTrap(after_header, staging);
        return;
    }

    StoreReply(after_header, staging, StoreMode::Merge);
}

void Dispatcher::StoreReply(std::span<const uint8_t> tlv_area, DeviceRecord& staging,
                            StoreMode mode) {
    const bool merge = mode == StoreMode::Merge;
    const SelectionMemo selection = lists_.RememberSelection();

    // A reported TLV_IP_ADDRESS replaces the sender address, so the lookups
    // below use the address the agent says it has.
    DecodeReplyFields(tlv_area, staging);
    const uint32_t utility_id = state_.settings.utility_id;

    if (const FindResult by_ip =
            FindMonitorRecord(state_.monitor, FieldText(staging.ip_text), KeyKind::Ip);
        by_ip.found) {
        MarkAnswering(staging, utility_id, kRowKnown, kImageNone);
        PutRecord(state_.monitor, by_ip.index, staging, merge);
        lists_.RefreshMonitorRow(by_ip.index);
    } else if (const FindResult by_mac =
                   FindMonitorRecord(state_.monitor, FieldText(staging.mac_text), KeyKind::Mac);
               by_mac.found) {
        // Same agent under a new address: an agent declared not alive keeps
        // its image until the next alive check.
        const bool not_alive = state_.monitor.records[by_mac.index].status_image == kImageNotAlive;
        MarkAnswering(staging, utility_id, kRowKnown, not_alive ? kImageNotAlive : kImageNone);
        PutRecord(state_.monitor, by_mac.index, staging, merge);
        lists_.RefreshMonitorRow(by_mac.index);
    } else if (!StoreInDiscovery(staging, merge)) {
        return;
    }

    if (mode == StoreMode::Merge)
        ConfirmPendingSet(staging);

    lists_.RestoreSelection(selection);
}

void Dispatcher::ConfirmPendingSet(const DeviceRecord& staging) {
    if (!IsSetReply(staging.reply_command))
        return;
    // An empty MAC or an address of 0 means nothing is pending; an agent that
    // reports 0.0.0.0 (say, after switching to DHCP) must not match it.
    const bool mac_matches =
        !state_.pending_set_mac.empty() && state_.pending_set_mac == FieldText(staging.mac_text);
    const bool ip_matches = state_.pending_set_ip != 0 && state_.pending_set_ip == staging.ip;
    if (!mac_matches && !ip_matches)
        return;
    state_.pending_set_ip = 0;
    state_.pending_set_mac.clear();
    notifier_.Show(kSetSuccessful);
}

void Dispatcher::StoreHeaderOnlyReply(DeviceRecord& staging, HeaderOnlyKind kind) {
    if (kind == HeaderOnlyKind::Loader)
        staging.agent_mode = AGENT_MODE_LOADER;
    const uint32_t utility_id = state_.settings.utility_id;

    // Rewriting a monitor row rebuilds it; keep the operator's selection.
    const SelectionMemo selection = lists_.RememberSelection();
    if (const FindResult by_ip =
            FindMonitorRecord(state_.monitor, FieldText(staging.ip_text), KeyKind::Ip);
        by_ip.found) {
        MarkAnswering(staging, utility_id, kRowKnown, kImageNone);
        PutRecord(state_.monitor, by_ip.index, staging, false);
        lists_.RefreshMonitorRow(by_ip.index);
    } else if (!StoreInDiscovery(staging, false)) {
        return;
    }
    lists_.RestoreSelection(selection);
}

bool Dispatcher::StoreInDiscovery(DeviceRecord& staging, bool merge) {
    const FindResult slot =
        FindDiscoveryRecord(state_.discovery, FieldText(staging.mac_text), KeyKind::Mac);
    if (slot.index >= kTableCapacity) {
        ShowAddFail();
        return false;
    }
    MarkAnswering(staging, state_.settings.utility_id, slot.found ? kRowKnown : kRowNew,
                  kImageNone);
    PutRecord(state_.discovery, slot.index, staging, merge);
    lists_.RefreshDiscoveryRow(slot.index);
    return true;
}

void Dispatcher::ShowAddFail() {
    // Set before showing: a modal box lets further replies in.
    if (state_.discovery.full_reported)
        return;
    state_.discovery.full_reported = true;
    notifier_.Show(kDiscoveryTableFull);
}

} // namespace kestrel
