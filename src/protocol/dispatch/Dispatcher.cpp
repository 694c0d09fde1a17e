#include "protocol/dispatch/Dispatcher.h"

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

Dispatcher::Dispatcher(const ProtocolSettings& settings, SetExchange& exchange,
                       DeviceTables& tables, ListHooks& lists, ProtocolEvents& events,
                       TrapHandler* traps)
    : settings_(settings), exchange_(exchange), tables_(tables), lists_(lists), events_(events),
      traps_(traps) {}

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

    if (header.utility_id != settings_.utility_id) {
        events_.OnDatagramDropped(datagram.size() < kHeaderSize ? DropReason::Short
                                                                : DropReason::ForeignUtility);
        return;
    }

    const Origin origin{sender_ip, header.command, header.sequence};
    staging.protocol_version = header.protocol_version;
    staging.interface_version = header.interface_version;
    PresetFieldMask(staging);

    staging.sub_version = header.sub_version;
    if (header.sub_version != 1) {
        events_.OnDatagramDropped(DropReason::SubVersion);
        return;
    }

    SetFieldText(staging.ip_text, FormatIpv4(sender_ip));
    staging.ip = sender_ip;

    if (header.protocol_version != kProtocolVersion) {
        StoreHeaderOnlyReply(staging, HeaderOnlyKind::OtherProtocolVersion, origin);
        return;
    }
    if (header.command == CMD_LOADER_REPLY) {
        StoreHeaderOnlyReply(staging, HeaderOnlyKind::Loader, origin);
        return;
    }

    if (header.command == CMD_DISCOVERY_REPLY)
        events_.OnDiscoveryReply(mac_text);

    if (header.command == CMD_SET_REPLY || header.command == CMD_UPGRADE_TRIGGER_REPLY) {
        // Both copies of a request sent by broadcast and multicast carry the
        // same sequence; only the first reply counts.
        if (header.sequence != exchange_.sequence) {
            events_.OnDatagramDropped(DropReason::StaleSequence);
            return;
        }
        ++exchange_.sequence;
    }

    if (status != STATUS_OK) {
        events_.OnStatusReply({header.command, status, std::string(mac_text), sender_ip});
        if (status == STATUS_DHCP_REFRESH_FAIL)
            StoreReply(after_header, staging, StoreMode::Plain, origin);
        return;
    }

    if (header.command == CMD_UPGRADE_TRIGGER_REPLY) {
        events_.OnTriggerAcknowledged(mac_text);
        return;
    }

    staging.reply_command = header.command;

    if (header.command == CMD_TRAP) {
        if (traps_)
            traps_->HandleTrap(after_header, staging);
        return;
    }

    StoreReply(after_header, staging, StoreMode::Merge, origin);
}

void Dispatcher::StoreReply(std::span<const uint8_t> tlv_area, DeviceRecord& staging,
                            StoreMode mode, const Origin& origin) {
    const bool merge = mode == StoreMode::Merge;
    const SelectionMemo selection = lists_.RememberSelection();

    // A reported TLV_IP_ADDRESS replaces the sender address, so the lookups
    // below use the address the agent says it has.
    DecodeReplyFields(tlv_area, staging);
    const DeviceTable& monitor = tables_.monitor;

    AgentStored stored;
    if (const FindResult by_ip =
            FindMonitorRecord(monitor, FieldText(staging.ip_text), KeyKind::Ip);
        by_ip.found) {
        stored = StoreInMonitor(by_ip.index, staging, merge, kImageNone, origin);
    } else if (const FindResult by_mac =
                   FindMonitorRecord(monitor, FieldText(staging.mac_text), KeyKind::Mac);
               by_mac.found) {
        // Same agent under a new address: an agent declared not alive keeps
        // its image until the next alive check.
        const bool not_alive = monitor.records[by_mac.index].status_image == kImageNotAlive;
        stored = StoreInMonitor(by_mac.index, staging, merge,
                                not_alive ? kImageNotAlive : kImageNone, origin);
    } else if (const std::optional<AgentStored> listed = StoreInDiscovery(staging, merge, origin)) {
        stored = *listed;
    } else {
        return;
    }

    if (mode == StoreMode::Merge)
        ConfirmPendingSet(staging, origin);

    lists_.RestoreSelection(selection);
    events_.OnAgentStored(stored);
}

void Dispatcher::ConfirmPendingSet(const DeviceRecord& staging, const Origin& origin) {
    if (!IsSetReply(staging.reply_command))
        return;
    // The answer comes from the agent the request went to and carries the
    // request's sequence: anyone else on the LAN could send a reply with
    // the agent's MAC, and a broadcast request's replies with every number.
    if (!exchange_.AnswerFrom(origin.sender_ip) || origin.sequence != exchange_.pending_sequence)
        return;
    // An empty MAC or an address of 0 means nothing is pending; an agent that
    // reports 0.0.0.0 (say, after switching to DHCP) must not match it.
    const bool mac_matches =
        !exchange_.pending_mac.empty() && exchange_.pending_mac == FieldText(staging.mac_text);
    const bool ip_matches = exchange_.pending_ip != 0 && exchange_.pending_ip == staging.ip;
    if (!mac_matches && !ip_matches)
        return;
    exchange_.ClearPending();
    events_.OnSetConfirmed({std::string(FieldText(staging.mac_text)), staging.ip});
}

void Dispatcher::StoreHeaderOnlyReply(DeviceRecord& staging, HeaderOnlyKind kind,
                                      const Origin& origin) {
    if (kind == HeaderOnlyKind::Loader)
        staging.agent_mode = AGENT_MODE_LOADER;
    // Rewriting a monitor row rebuilds it; keep the operator's selection.
    const SelectionMemo selection = lists_.RememberSelection();
    AgentStored stored;
    if (const FindResult by_ip =
            FindMonitorRecord(tables_.monitor, FieldText(staging.ip_text), KeyKind::Ip);
        by_ip.found) {
        stored = StoreInMonitor(by_ip.index, staging, false, kImageNone, origin);
    } else if (const std::optional<AgentStored> listed = StoreInDiscovery(staging, false, origin)) {
        stored = *listed;
    } else {
        return;
    }
    lists_.RestoreSelection(selection);
    events_.OnAgentStored(stored);
}

AgentStored Dispatcher::StoreInMonitor(int index, DeviceRecord& staging, bool merge,
                                       int32_t status_image, const Origin& origin) {
    DeviceTable& monitor = tables_.monitor;
    const bool back = monitor.records[index].row_state == kRowNotAlive;
    MarkAnswering(staging, settings_.utility_id, kRowKnown, status_image);
    PutRecord(monitor, index, staging, merge);
    lists_.RefreshMonitorRow(index);
    return AgentStored{.list = AgentList::Monitor,
                       .index = index,
                       .added = false,
                       .back = back,
                       .command = origin.command,
                       .sender_ip = origin.sender_ip};
}

std::optional<AgentStored> Dispatcher::StoreInDiscovery(DeviceRecord& staging, bool merge,
                                                        const Origin& origin) {
    DeviceTable& discovery = tables_.discovery;
    const FindResult slot =
        FindDiscoveryRecord(discovery, FieldText(staging.mac_text), KeyKind::Mac);
    if (slot.index >= kTableCapacity) {
        ReportTableFull();
        return std::nullopt;
    }
    MarkAnswering(staging, settings_.utility_id, slot.found ? kRowKnown : kRowNew, kImageNone);
    PutRecord(discovery, slot.index, staging, merge);
    lists_.RefreshDiscoveryRow(slot.index);
    return AgentStored{.list = AgentList::Discovery,
                       .index = slot.index,
                       .added = !slot.found,
                       .back = false,
                       .command = origin.command,
                       .sender_ip = origin.sender_ip};
}

void Dispatcher::ReportTableFull() {
    // Set before reporting: a modal box lets further replies in.
    if (tables_.discovery.full_reported)
        return;
    tables_.discovery.full_reported = true;
    events_.OnDiscoveryTableFull();
}

} // namespace kestrel
