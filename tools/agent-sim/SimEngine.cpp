#include "SimEngine.h"

#include "AgentConfig.h"
#include "AgentReply.h"
#include "Misbehaviour.h"
#include "SetRequest.h"

#include "protocol/seams/Seams.h"
#include "protocol/wire/ByteOrder.h"
#include "protocol/wire/Ipv4Text.h"
#include "protocol/wire/TlvCodec.h"

#include <charconv>
#include <cstdio>

#include <net/if.h>

namespace kestrel::sim {

namespace {

std::string Endpoint(uint32_t ip, uint16_t port) {
    return FormatIpv4(ip) + ':' + std::to_string(port);
}

std::string HexWord(uint64_t v) {
    char text[24];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(v));
    return text;
}

std::string Joined(const std::vector<std::string>& words, const char* none = "-") {
    if (words.empty())
        return none;
    std::string out;
    for (const std::string& w : words)
        out += (out.empty() ? "" : ",") + w;
    return out;
}

// Report lines stay one line: control characters in agent texts become '?'.
std::string OneLine(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            c = '?';
    return out;
}

} // namespace

std::string CommandName(uint16_t command) {
    switch (command) {
    case CMD_DISCOVERY:
        return "DISCOVERY";
    case CMD_DISCOVERY_REPLY:
        return "DISCOVERY_REPLY";
    case CMD_SET:
        return "SET";
    case CMD_SET_REPLY:
        return "SET_REPLY";
    case CMD_POLL:
        return "POLL";
    case kCmdPollReply:
        return "POLL_REPLY";
    case CMD_UNICAST_SET:
        return "UNICAST_SET";
    case CMD_UNICAST_SET_REPLY:
        return "UNICAST_SET_REPLY";
    case CMD_TRAP:
        return "TRAP";
    case CMD_UPGRADE_TRIGGER:
        return "UPGRADE_TRIGGER";
    case CMD_UPGRADE_TRIGGER_REPLY:
        return "UPGRADE_TRIGGER_REPLY";
    case CMD_LOADER_REPLY:
        return "LOADER_REPLY";
    default:
        return "CMD" + std::to_string(command);
    }
}

SimEngine::SimEngine(SimOptions options, std::vector<Agent> agents, ReportFn report, Millis now)
    : options_(options), agents_(std::move(agents)), report_(std::move(report)), now_(now) {
    for (std::size_t i = 0; i < agents_.size(); ++i) {
        by_ip_[agents_[i].s.ip] = i;
        Agent& a = agents_[i];
        if (a.s.silent_after_s > 0)
            a.rt.silent_from = now + Millis{a.s.silent_after_s} * 1000;
        if (a.s.trap_every_s > 0)
            a.rt.next_trap_at = now + Millis{a.s.trap_every_s} * 1000;
        if (a.s.flap_s > 0)
            a.rt.next_flap_at = now + Millis{a.s.flap_s} * 1000;
    }
}

std::string SimEngine::Say(std::string line) {
    if (report_)
        report_(line);
    return line;
}

Agent* SimEngine::FindByIp(uint32_t ip) {
    const auto it = by_ip_.find(ip);
    return it == by_ip_.end() ? nullptr : &agents_[it->second];
}

std::vector<Outgoing> SimEngine::TakeOutbox() {
    std::vector<Outgoing> out;
    out.swap(outbox_);
    return out;
}

void SimEngine::OnAgentDatagram(std::span<const uint8_t> bytes, uint32_t src, uint16_t src_port,
                                uint32_t dst, Millis now, int card) {
    now_ = now;
    if (bytes.size() < kHeaderSize) {
        Say("BAD from=" + Endpoint(src, src_port) + " to=" + FormatIpv4(dst) +
            " len=" + std::to_string(bytes.size()) + " reason=short");
        return;
    }
    const PacketHeader h = DecodeHeader(bytes);
    Say("RX " + CommandName(h.command) + " from=" + Endpoint(src, src_port) +
        " to=" + FormatIpv4(dst) + " len=" + std::to_string(bytes.size()) +
        " seq=" + std::to_string(h.sequence));

    if (Agent* one = FindByIp(dst)) {
        if (!one->Answers(now)) {
            Say("SILENT " + FormatIpv4(one->s.ip) + ' ' + CommandName(h.command));
            return;
        }
        HandleRequest(*one, h, bytes, src, src_port, false, now);
        return;
    }
    if (dst != kLimitedBroadcast && dst != options_.multicast_group)
        return;
    // Everyone on the LAN hears it. Index loop: a set may change addresses.
    for (std::size_t i = 0; i < agents_.size(); ++i) {
        Agent& a = agents_[i];
        // An agent behind another card of the workstation never sees it.
        if (!a.s.link.empty() && card != 0 &&
            static_cast<unsigned>(card) != if_nametoindex(a.s.link.c_str()))
            continue;
        if (!a.Answers(now)) {
            Say("SILENT " + FormatIpv4(a.s.ip) + ' ' + CommandName(h.command));
            continue;
        }
        HandleRequest(a, h, bytes, src, src_port, true, now);
    }
}

void SimEngine::HandleRequest(Agent& a, const PacketHeader& h, std::span<const uint8_t> bytes,
                              uint32_t src, uint16_t src_port, bool group, Millis now) {
    switch (h.command) {
    case CMD_DISCOVERY:
    case CMD_POLL: {
        const uint16_t command = h.command == CMD_DISCOVERY ? CMD_DISCOVERY_REPLY : kCmdPollReply;
        if (a.s.loader)
            Reply(a, a.s.ip, src, src_port,
                  BuildHeaderReply(a.s, CMD_LOADER_REPLY, STATUS_OK, h.sequence), CMD_LOADER_REPLY,
                  STATUS_OK, h.sequence, group);
        else
            Reply(a, a.s.ip, src, src_port, BuildStateReply(a.s, command, STATUS_OK, h.sequence),
                  command, STATUS_OK, h.sequence, group);
        return;
    }
    case CMD_SET:
    case CMD_UNICAST_SET:
        if (h.mac == a.s.mac)
            HandleSet(a, h, bytes, src, src_port, now);
        return;
    case CMD_UPGRADE_TRIGGER:
        if (h.mac == a.s.mac)
            HandleTrigger(a, h, bytes, src, src_port, now);
        return;
    default:
        // A command the agent does not know, aimed at it alone.
        if (!group && (h.mac == a.s.mac || h.mac == MacBytes{})) {
            const uint16_t command = static_cast<uint16_t>(h.command + 1);
            Reply(a, a.s.ip, src, src_port,
                  BuildHeaderReply(a.s, command, STATUS_COMMAND_ERROR, h.sequence), command,
                  STATUS_COMMAND_ERROR, h.sequence, false);
        }
        return;
    }
}

void SimEngine::HandleSet(Agent& a, const PacketHeader& h, std::span<const uint8_t> bytes,
                          uint32_t src, uint16_t src_port, Millis now) {
    const uint32_t answered_from = a.s.ip;
    const uint16_t command = h.command == CMD_SET ? CMD_SET_REPLY : CMD_UNICAST_SET_REPLY;
    // A set answer lost on the way, as far as the utility can tell.
    if (a.s.set_silent && !(h.sub_version == 1 && h.interface_version == 3)) {
        Say("SILENT " + FormatIpv4(a.s.ip) + ' ' + CommandName(h.command));
        return;
    }
    const std::vector<uint8_t> request(bytes.begin(), bytes.end());
    if (a.rt.last_request == request && a.rt.last_request_from == src &&
        now - a.rt.last_request_at < options_.dedup_ms) {
        // The same request again (its broadcast and multicast copies): the
        // same answer, nothing applied twice.
        const PacketHeader last = DecodeHeader(a.rt.last_reply);
        Reply(a, answered_from, src, src_port, a.rt.last_reply, last.command, last.ReplyStatus(),
              last.sequence, false);
        return;
    }

    std::vector<uint8_t> reply;
    int status = STATUS_OK;
    if (a.s.loader) {
        reply = BuildHeaderReply(a.s, CMD_LOADER_REPLY, STATUS_OK, h.sequence);
        Say("SET " + FormatIpv4(a.s.ip) + " kind=loader status=0");
    } else if (h.protocol_version != kProtocolVersion) {
        status = STATUS_PROTOCOL_VERSION_ERROR;
        reply = BuildHeaderReply(a.s, command, status, h.sequence);
        Say("SET " + FormatIpv4(a.s.ip) + " kind=version status=" + std::to_string(status));
    } else {
        const SetRequest r = ParseSetRequest(bytes.subspan(kHeaderSize), a.s.interface_version);
        if (h.sub_version == 1 && h.interface_version == 3) {
            status = ApplyDhcpRefresh(a.s, r);
            Say("SET " + FormatIpv4(a.s.ip) +
                " kind=dhcp-refresh status=" + std::to_string(status));
        } else {
            const uint32_t old_ip = a.s.ip;
            const SetOutcome outcome =
                ApplySetRequest(a.s, r, [this](uint32_t ip) { return by_ip_.count(ip) != 0; });
            status = outcome.status;
            if (a.s.ip != old_ip)
                ChangeAddress(a, old_ip);
            Say("SET " + FormatIpv4(answered_from) + " kind=config status=" +
                std::to_string(status) + " applied=" + Joined(outcome.applied) +
                " refused=" + Joined(outcome.refused) + " now=" + FormatIpv4(a.s.ip));
        }
        // Replies that the utility stores carry the new state.
        if (status == STATUS_OK || status == STATUS_DHCP_REFRESH_FAIL)
            reply = BuildStateReply(a.s, command, status, h.sequence);
        else
            reply = BuildHeaderReply(a.s, command, status, h.sequence);
    }
    a.rt.last_request = request;
    a.rt.last_request_from = src;
    a.rt.last_request_at = now;
    a.rt.last_reply = reply;
    const PacketHeader sent = DecodeHeader(reply);
    Reply(a, answered_from, src, src_port, std::move(reply), sent.command, sent.ReplyStatus(),
          h.sequence, false);
}

void SimEngine::HandleTrigger(Agent& a, const PacketHeader& h, std::span<const uint8_t> bytes,
                              uint32_t src, uint16_t src_port, Millis now) {
    const std::vector<uint8_t> request(bytes.begin(), bytes.end());
    if (a.rt.last_request == request && a.rt.last_request_from == src &&
        now - a.rt.last_request_at < options_.dedup_ms) {
        Reply(a, a.s.ip, src, src_port, a.rt.last_reply, CMD_UPGRADE_TRIGGER_REPLY,
              DecodeHeader(a.rt.last_reply).ReplyStatus(), h.sequence, false);
        return;
    }
    const SetRequest r = ParseSetRequest(bytes.subspan(kHeaderSize), a.s.interface_version);
    const bool good = r.password && *r.password == a.s.password;
    const int status = good ? STATUS_OK : STATUS_PASSWORD_ERROR;
    if (good)
        a.rt.armed_until = now + options_.trigger_valid_ms;
    Say("TRIGGER " + FormatIpv4(a.s.ip) + " status=" + std::to_string(status));
    std::vector<uint8_t> reply =
        good ? BuildStateReply(a.s, CMD_UPGRADE_TRIGGER_REPLY, status, h.sequence)
             : BuildHeaderReply(a.s, CMD_UPGRADE_TRIGGER_REPLY, status, h.sequence);
    a.rt.last_request = request;
    a.rt.last_request_from = src;
    a.rt.last_request_at = now;
    a.rt.last_reply = reply;
    Reply(a, a.s.ip, src, src_port, std::move(reply), CMD_UPGRADE_TRIGGER_REPLY, status, h.sequence,
          false);
}

void SimEngine::Reply(const Agent& a, uint32_t from, uint32_t to, uint16_t port,
                      std::vector<uint8_t> bytes, uint16_t command, int status, uint16_t sequence,
                      bool paced) {
    MisbehaveInHeader(bytes, a.s);
    if (bytes.size() >= kHeaderSize) {
        // What actually leaves, after status= and wrong_seq=.
        const PacketHeader sent = DecodeHeader(bytes);
        status = sent.ReplyStatus();
        sequence = sent.sequence;
    }
    Say("REPLY " + FormatIpv4(a.s.ip) + ' ' + CommandName(command) + " status=" +
        std::to_string(status) + " seq=" + std::to_string(sequence) + " to=" + Endpoint(to, port));
    Shape(a, {Channel::Agent, from, to, port, std::move(bytes), paced});
}

void SimEngine::Shape(const Agent& a, Outgoing o) {
    shaper_.Shape(a.s, static_cast<std::size_t>(&a - agents_.data()), std::move(o), now_, outbox_);
}

void SimEngine::ReleaseHeld(Millis now) {
    now_ = now;
    shaper_.Release(now, outbox_);
}

void SimEngine::SendBurst(const Agent& a, int count) {
    // Unasked discovery replies, all at once, to where discovery comes from.
    const uint16_t port = options_.base_port;
    Say("BURST " + FormatIpv4(a.s.ip) + " count=" + std::to_string(count) +
        " to=" + Endpoint(options_.workstation, port));
    const std::vector<uint8_t> reply = BuildStateReply(a.s, CMD_DISCOVERY_REPLY, STATUS_OK, 0);
    for (int i = 0; i < count; ++i) {
        std::vector<uint8_t> bytes = reply;
        MisbehaveInHeader(bytes, a.s);
        outbox_.push_back(
            {Channel::Agent, a.s.ip, options_.workstation, port, std::move(bytes), false});
    }
}

void SimEngine::ChangeAddress(Agent& a, uint32_t old_ip) {
    const auto it = by_ip_.find(old_ip);
    if (it == by_ip_.end())
        return;
    const std::size_t index = it->second;
    by_ip_.erase(it);
    by_ip_[a.s.ip] = index;
    if (auto t = transfers_.find(old_ip); t != transfers_.end()) {
        transfers_.emplace(a.s.ip, std::move(t->second));
        transfers_.erase(old_ip);
    }
}

void SimEngine::SendTrap(Agent& a, std::string_view text) {
    const uint32_t to = a.s.trap_ip ? a.s.trap_ip : options_.workstation;
    Say("TRAP " + FormatIpv4(a.s.ip) + " to=" + Endpoint(to, options_.TrapPort()) +
        " text=" + OneLine(text));
    Shape(a, {Channel::Agent, a.s.ip, to, options_.TrapPort(), BuildTrap(a.s, text), false});
}

void SimEngine::SendTftp(const Agent& a, uint32_t to, uint16_t port, std::vector<uint8_t> bytes) {
    outbox_.push_back({Channel::Tftp, a.s.ip, to, port, std::move(bytes), false});
}

void SimEngine::SendTftpAck(const Agent& a, Transfer& t, std::vector<uint8_t> ack, uint16_t block) {
    if (a.s.tftp_drop_ack == block && !t.ack_dropped) {
        t.ack_dropped = true;
        Say("TFTP " + FormatIpv4(a.s.ip) + " ack-dropped block=" + std::to_string(block));
        return;
    }
    SendTftp(a, t.client, t.client_port, std::move(ack));
}

void SimEngine::OnTftpDatagram(std::span<const uint8_t> bytes, uint32_t src, uint16_t src_port,
                               uint32_t dst, Millis now) {
    Agent* a = FindByIp(dst);
    if (!a)
        return;
    const std::string who = "TFTP " + FormatIpv4(a->s.ip);
    if (!a->Answers(now)) {
        Say(who + " ignored reason=silent");
        return;
    }
    const ByteReader in(bytes);
    const auto opcode = in.U16(0);
    const auto block = in.U16(2);
    const int silent_at = a->s.tftp_silent_at;
    if (silent_at >= 0 &&
        ((opcode == kTftpWrq && silent_at == 0) ||
         (opcode == kTftpData && block && *block >= silent_at && silent_at > 0))) {
        Say(who +
            " ignored reason=silent-at block=" + std::to_string(opcode == kTftpWrq ? 0 : *block));
        return;
    }
    if (opcode == kTftpWrq) {
        const auto wrq = ParseWriteRequest(bytes);
        if (!wrq) {
            SendTftp(*a, src, src_port, TftpErrorPacket(4, "Illegal TFTP operation"));
            Say(who + " error reason=bad-request");
            return;
        }
        auto t = transfers_.find(a->s.ip);
        if (t != transfers_.end() && t->second.client == src) {
            if (auto ack = t->second.receiver.OnRepeatedRequest()) {
                t->second.last_activity = now;
                SendTftp(*a, src, src_port, std::move(*ack));
                Say(who + " wrq repeated");
                return;
            }
        }
        if (now >= a->rt.armed_until) {
            SendTftp(*a, src, src_port, TftpErrorPacket(2, "Upgrade not triggered"));
            Say(who + " error reason=not-triggered");
            return;
        }
        if (wrq->mode != "octet") {
            SendTftp(*a, src, src_port, TftpErrorPacket(0, "Only octet mode is supported"));
            Say(who + " error reason=mode");
            return;
        }
        transfers_.erase(a->s.ip);
        Say(who + " wrq from=" + Endpoint(src, src_port) + " name=" + OneLine(wrq->file_name));
        if (a->s.tftp_error_at == 0) {
            SendTftp(*a, src, src_port, TftpErrorPacket(0, a->s.tftp_error_text));
            Say(who + " error-sent block=0");
            return;
        }
        auto [added, _] =
            transfers_.emplace(a->s.ip, Transfer{src, src_port, now, TftpReceiver(wrq->file_name)});
        SendTftpAck(*a, added->second, TftpAck(0), 0);
        return;
    }
    if (opcode == kTftpData) {
        auto t = transfers_.find(a->s.ip);
        if (t == transfers_.end() || t->second.client != src) {
            SendTftp(*a, src, src_port, TftpErrorPacket(5, "Unknown transfer ID"));
            Say(who + " error reason=no-transfer");
            return;
        }
        Transfer& tr = t->second;
        if (block && a->s.tftp_error_at == *block && !tr.receiver.Complete() &&
            *block == static_cast<uint16_t>(tr.receiver.LastBlock() + 1)) {
            SendTftp(*a, src, src_port, TftpErrorPacket(0, a->s.tftp_error_text));
            Say(who + " error-sent block=" + std::to_string(*block));
            transfers_.erase(t);
            return;
        }
        const bool was_complete = tr.receiver.Complete();
        auto answer = tr.receiver.OnData(bytes);
        tr.last_activity = now;
        if (answer && !tr.receiver.Failed())
            SendTftpAck(*a, tr, std::move(*answer), tr.receiver.LastBlock());
        else if (answer)
            SendTftp(*a, src, src_port, std::move(*answer));
        if (tr.receiver.Failed()) {
            Say(who + " error reason=too-large");
            transfers_.erase(t);
            return;
        }
        if (tr.receiver.Complete() && !was_complete) {
            const auto& image = tr.receiver.Image();
            a->rt.images.push_back({tr.receiver.FileName(), image.size(), Fnv1a64(image)});
            a->rt.armed_until = 0;
            a->rt.reboot_at = now + options_.reboot_delay_ms;
            Say(who + " stored size=" + std::to_string(image.size()) +
                " blocks=" + std::to_string(tr.receiver.LastBlock()) +
                " fnv1a=" + HexWord(Fnv1a64(image)) + " name=" + OneLine(tr.receiver.FileName()));
        }
        return;
    }
    if (opcode == kTftpRrq) {
        SendTftp(*a, src, src_port, TftpErrorPacket(4, "Illegal TFTP operation"));
        Say(who + " error reason=read-request");
    }
    // ACKs and ERRORs from the client, and anything else: nothing to do.
}

void SimEngine::Tick(Millis now) {
    now_ = now;
    for (Agent& a : agents_) {
        const std::string ip = FormatIpv4(a.s.ip);
        if (a.rt.silent_from && now >= a.rt.silent_from) {
            a.rt.silent_from = 0;
            a.s.silent = true;
            Say("STATE " + ip + " silent");
        }
        if (a.rt.next_flap_at && now >= a.rt.next_flap_at) {
            a.rt.next_flap_at = a.s.flap_s > 0 ? now + Millis{a.s.flap_s} * 1000 : 0;
            a.s.silent = !a.s.silent;
            Say("STATE " + ip + (a.s.silent ? " silent" : " awake"));
        }
        if (a.rt.reboot_at && now >= a.rt.reboot_at) {
            a.rt.reboot_at = 0;
            a.rt.rebooting_until = now + Millis{a.s.reboot_s} * 1000;
            transfers_.erase(a.s.ip);
            Say("STATE " + ip + " rebooting seconds=" + std::to_string(a.s.reboot_s));
        }
        if (a.rt.rebooting_until && now >= a.rt.rebooting_until) {
            a.rt.rebooting_until = 0;
            a.s.loader = false; // new firmware runs
            Say("STATE " + ip + " back");
        }
        if (a.rt.next_trap_at && now >= a.rt.next_trap_at) {
            a.rt.next_trap_at = a.s.trap_every_s > 0 ? now + Millis{a.s.trap_every_s} * 1000 : 0;
            if (a.Answers(now))
                SendTrap(a, a.s.trap_text);
        }
    }
    for (auto it = transfers_.begin(); it != transfers_.end();) {
        if (now - it->second.last_activity >= options_.tftp_idle_ms) {
            Say("TFTP " + FormatIpv4(it->first) + " dropped reason=idle");
            it = transfers_.erase(it);
        } else {
            ++it;
        }
    }
    shaper_.Release(now, outbox_);
}

std::vector<Agent*> SimEngine::Select(std::string_view which) {
    std::vector<Agent*> out;
    if (which == "all") {
        for (Agent& a : agents_)
            out.push_back(&a);
    } else if (auto ip = ParseIpv4(which)) {
        if (Agent* a = FindByIp(*ip))
            out.push_back(a);
    }
    return out;
}

bool SimEngine::OnControlLine(std::string_view line, Millis now) {
    now_ = now;
    const auto words = SplitWords(line);
    if (!words || words->empty()) {
        if (!words)
            Say("CTL-ERROR unterminated quote: " + std::string(line));
        return true;
    }
    const std::string& cmd = (*words)[0];
    if (cmd == "quit") {
        Say("CTL " + std::string(line));
        return false;
    }
    if (words->size() < 2) {
        Say("CTL-ERROR missing agent: " + std::string(line));
        return true;
    }
    const std::vector<Agent*> agents = Select((*words)[1]);
    if (agents.empty()) {
        Say("CTL-ERROR no such agent: " + std::string(line));
        return true;
    }
    std::string rest;
    for (std::size_t i = 2; i < words->size(); ++i)
        rest += (i > 2 ? " " : "") + (*words)[i];

    std::string error;
    for (Agent* a : agents) {
        const std::string ip = FormatIpv4(a->s.ip);
        if (cmd == "silent") {
            a->s.silent = true;
            a->rt.silent_from = 0;
            Say("STATE " + ip + " silent");
        } else if (cmd == "wake") {
            a->s.silent = false;
            a->rt.silent_from = 0;
            Say("STATE " + ip + " awake");
        } else if (cmd == "trap") {
            SendTrap(*a, words->size() > 2 ? rest : a->s.trap_text);
        } else if (cmd == "reboot") {
            int seconds = a->s.reboot_s;
            if (words->size() > 2) {
                const std::string& arg = (*words)[2];
                auto [end, ec] = std::from_chars(arg.data(), arg.data() + arg.size(), seconds);
                if (ec != std::errc{} || end != arg.data() + arg.size() || seconds < 0) {
                    error = "bad seconds";
                    break;
                }
            }
            a->rt.rebooting_until = now + Millis{seconds} * 1000;
            Say("STATE " + ip + " rebooting seconds=" + std::to_string(seconds));
        } else if (cmd == "burst") {
            int count = 0;
            const std::string arg = words->size() > 2 ? (*words)[2] : "";
            auto [end, ec] = std::from_chars(arg.data(), arg.data() + arg.size(), count);
            if (ec != std::errc{} || end != arg.data() + arg.size() || count < 1 ||
                count > kMaxBurst) {
                error = "bad count";
                break;
            }
            SendBurst(*a, count);
        } else if (cmd == "show") {
            Say("AGENT " + DescribeAgent(a->s) + " images=" + std::to_string(a->rt.images.size()));
        } else if (cmd == "set") {
            AgentSettings changed = a->s;
            for (std::size_t i = 2; i < words->size() && error.empty(); ++i)
                error = ApplySetting(changed, (*words)[i]);
            if (error.empty() && changed.ip != a->s.ip && by_ip_.count(changed.ip))
                error = "address in use";
            if (error.empty()) {
                const uint32_t old_ip = a->s.ip;
                const bool timers_changed = changed.silent_after_s != a->s.silent_after_s ||
                                            changed.trap_every_s != a->s.trap_every_s ||
                                            changed.flap_s != a->s.flap_s;
                a->s = changed;
                if (a->s.ip != old_ip)
                    ChangeAddress(*a, old_ip);
                if (timers_changed) {
                    a->rt.silent_from =
                        a->s.silent_after_s ? now + Millis{a->s.silent_after_s} * 1000 : 0;
                    a->rt.next_trap_at =
                        a->s.trap_every_s ? now + Millis{a->s.trap_every_s} * 1000 : 0;
                    a->rt.next_flap_at = a->s.flap_s ? now + Millis{a->s.flap_s} * 1000 : 0;
                }
            }
        } else {
            error = "unknown command";
        }
        if (!error.empty())
            break;
    }
    Say(error.empty() ? "CTL " + std::string(line)
                      : "CTL-ERROR " + error + ": " + std::string(line));
    return true;
}

} // namespace kestrel::sim
