#include "AgentConfig.h"

#include "Misbehaviour.h"

#include "protocol/wire/Ipv4Text.h"
#include "protocol/wire/TlvCodec.h"

#include <charconv>
#include <cstdio>
#include <set>

namespace kestrel::sim {

namespace {

// An interface name, as the system allows it.
constexpr std::size_t kMaxLinkName = 15;

constexpr uint32_t kFirstAgent = 0xC6120101; // 198.18.1.1

template <typename T> std::optional<T> ParseNumber(std::string_view text, int base = 10) {
    if (base == 16 && (text.starts_with("0x") || text.starts_with("0X")))
        text.remove_prefix(2);
    T value{};
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (ec != std::errc{} || end != text.data() + text.size() || text.empty())
        return std::nullopt;
    return value;
}

std::optional<bool> ParseFlag(std::string_view v) {
    if (v == "1" || v == "yes" || v == "on" || v == "true")
        return true;
    if (v == "0" || v == "no" || v == "off" || v == "false")
        return false;
    return std::nullopt;
}

std::optional<MacBytes> ParseMac(std::string_view text) {
    std::string digits;
    for (char c : text)
        if (c != ':' && c != '-')
            digits += c;
    if (digits.size() != 12)
        return std::nullopt;
    auto bytes = ParseHexText(digits);
    if (!bytes || bytes->size() != 6)
        return std::nullopt;
    MacBytes mac;
    std::copy(bytes->begin(), bytes->end(), mac.begin());
    return mac;
}

std::optional<std::array<uint32_t, 4>> ParseMask(std::string_view text) {
    std::array<uint32_t, 4> mask{};
    std::size_t word = 0;
    while (true) {
        const std::size_t comma = text.find(',');
        if (word == 4)
            return std::nullopt;
        auto value = ParseNumber<uint32_t>(text.substr(0, comma), 16);
        if (!value)
            return std::nullopt;
        mask[word++] = *value;
        if (comma == std::string_view::npos)
            return mask;
        text.remove_prefix(comma + 1);
    }
}

std::array<uint32_t, 4> ImpliedMask(uint16_t interface_version) {
    switch (interface_version) {
    case 1:
        return {0x1FF, 0, 0, 0};
    case 2:
        return {0x3FF, 0, 0, 0};
    default:
        return {0x3FF | 0x200000, 0, 0, 0};
    }
}

std::string Quoted(std::string_view text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\')
            out += '\\';
        out += c;
    }
    return out + '"';
}

std::string Hex(uint32_t v) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%X", v);
    return text;
}

} // namespace

std::optional<std::vector<std::string>> SplitWords(std::string_view line) {
    std::vector<std::string> words;
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r'))
            ++i;
        if (i == line.size() || line[i] == '#')
            break;
        std::string word;
        bool quoted = false;
        for (; i < line.size(); ++i) {
            const char c = line[i];
            if (quoted) {
                if (c == '\\' && i + 1 < line.size()) {
                    word += line[++i];
                } else if (c == '"') {
                    quoted = false;
                } else {
                    word += c;
                }
            } else if (c == '"') {
                quoted = true;
            } else if (c == ' ' || c == '\t' || c == '\r') {
                break;
            } else {
                word += c;
            }
        }
        if (quoted)
            return std::nullopt;
        words.push_back(std::move(word));
    }
    return words;
}

std::string ApplySetting(AgentSettings& s, std::string_view word) {
    const std::size_t eq = word.find('=');
    if (eq == std::string_view::npos)
        return "expected key=value: " + std::string(word);
    const std::string_view key = word.substr(0, eq);
    const std::string_view v = word.substr(eq + 1);
    const std::string bad = "bad value for " + std::string(key) + ": " + std::string(v);

    auto text = [&](std::string& field, std::size_t limit) {
        if (v.size() > limit)
            return std::string(key) + " longer than " + std::to_string(limit) + " characters";
        field = std::string(v);
        return std::string();
    };
    auto address = [&](uint32_t& field) {
        auto a = ParseIpv4(v);
        if (!a)
            return bad;
        field = *a;
        return std::string();
    };
    auto flag = [&](bool& field) {
        auto f = ParseFlag(v);
        if (!f)
            return bad;
        field = *f;
        return std::string();
    };
    auto seconds = [&](int& field) {
        auto n = ParseNumber<int>(v);
        if (!n || *n < 0)
            return bad;
        field = *n;
        return std::string();
    };

    if (key == "ip")
        return address(s.ip);
    if (key == "subnet")
        return address(s.subnet_mask);
    if (key == "gateway")
        return address(s.gateway);
    if (key == "trap")
        return address(s.trap_ip);
    if (key == "mac") {
        auto mac = ParseMac(v);
        if (!mac)
            return bad;
        s.mac = *mac;
        return {};
    }
    auto bounded = [&](int& field, int low, int high) {
        auto n = ParseNumber<int>(v);
        if (!n || *n < low || *n > high)
            return bad;
        field = *n;
        return std::string();
    };

    if (key == "product")
        return text(s.product_name, kMaxProductName);
    if (key == "name")
        return text(s.system_name, kMaxSystemName);
    if (key == "location")
        return text(s.location, kMaxLocation);
    if (key == "password")
        return text(s.password, 20);
    if (key == "trap_text")
        return text(s.trap_text, kMaxTrapText);
    if (key == "iface") {
        auto n = ParseNumber<uint16_t>(v);
        if (!n)
            return bad;
        // A new interface version brings its own mask unless mask= follows.
        s.interface_version = *n;
        s.field_mask = ImpliedMask(*n);
        if (*n < 3)
            s.group_interval = -1; // only interface 3 can report one by default
        return {};
    }
    if (key == "mask") {
        auto m = ParseMask(v);
        if (!m)
            return bad;
        s.field_mask = *m;
        return {};
    }
    if (key == "dhcp") {
        if (v == "none")
            s.dhcp = DhcpReport::NotReported;
        else if (v == "0")
            s.dhcp = DhcpReport::Disabled;
        else if (v == "1")
            s.dhcp = DhcpReport::Enabled;
        else
            return bad;
        return {};
    }
    if (key == "group") {
        auto n = ParseNumber<int32_t>(v);
        if (!n || *n < -1)
            return bad;
        s.group_interval = *n;
        return {};
    }
    if (key == "proto") {
        auto n = ParseNumber<uint16_t>(v);
        if (!n)
            return bad;
        s.protocol_version = *n;
        return {};
    }
    if (key == "utility") {
        auto n = ParseNumber<uint32_t>(v, 16);
        if (!n)
            return bad;
        s.utility_id = *n;
        return {};
    }
    if (key == "loader")
        return flag(s.loader);
    if (key == "silent")
        return flag(s.silent);
    if (key == "dhcp_fail")
        return flag(s.dhcp_refresh_fails);
    if (key == "silent_after")
        return seconds(s.silent_after_s);
    if (key == "trap_every")
        return seconds(s.trap_every_s);
    if (key == "reboot")
        return seconds(s.reboot_s);
    if (key == "link")
        return text(s.link, kMaxLinkName);
    if (key == "dup")
        return flag(s.dup);
    if (key == "delay_ms")
        return bounded(s.delay_ms, 0, kMaxDelayMs);
    if (key == "reorder")
        return flag(s.reorder);
    if (key == "wrong_seq")
        return flag(s.wrong_seq);
    if (key == "set_silent")
        return flag(s.set_silent);
    if (key == "status")
        return bounded(s.status, -1, 15);
    if (key == "burst")
        return bounded(s.burst, 0, kMaxBurst);
    if (key == "claim")
        return address(s.claim_ip);
    if (key == "hostile")
        return flag(s.hostile);
    if (key == "flap")
        return seconds(s.flap_s);
    if (key == "tftp_drop_ack")
        return bounded(s.tftp_drop_ack, -1, 65535);
    if (key == "tftp_error_at")
        return bounded(s.tftp_error_at, -1, 65535);
    if (key == "tftp_silent_at")
        return bounded(s.tftp_silent_at, -1, 65535);
    if (key == "tftp_error_text")
        return text(s.tftp_error_text, kMaxTftpErrorText);
    return "unknown key: " + std::string(key);
}

uint32_t GeneratedAddress(int n) {
    // 254 usable hosts per /24: .1 to .254.
    const uint32_t block = static_cast<uint32_t>(n) / 254;
    const uint32_t host = static_cast<uint32_t>(n) % 254 + 1;
    return (kFirstAgent & 0xFFFFFF00) + (block << 8) + host;
}

AgentSettings DefaultAgent(int n, uint32_t utility_id) {
    // Plainly simulated agents, not anyone's model numbers.
    static const char* const kProducts[] = {"Kestrel sim agent, 8 ports", "Kestrel sim agent lite",
                                            "Kestrel sim agent, 16 ports",
                                            "Kestrel sim agent rugged"};
    AgentSettings s;
    s.ip = GeneratedAddress(n);
    const uint32_t id = static_cast<uint32_t>(n) + 1;
    s.mac = {0x02,
             0x4B,
             0x53,
             static_cast<uint8_t>(id >> 16),
             static_cast<uint8_t>(id >> 8),
             static_cast<uint8_t>(id)};
    s.product_name = kProducts[n % 4];
    char text[32];
    std::snprintf(text, sizeof text, "agent-%04d", n + 1);
    s.system_name = text;
    std::snprintf(text, sizeof text, "bench %d", n / 8 + 1);
    s.location = text;
    s.password = "admin";
    s.interface_version = static_cast<uint16_t>(n % 3 + 1);
    s.field_mask = ImpliedMask(s.interface_version);
    switch (s.interface_version) {
    case 1:
        s.dhcp = DhcpReport::Disabled;
        break;
    case 2:
        s.dhcp = (n / 3) % 2 ? DhcpReport::Enabled : DhcpReport::Disabled;
        break;
    default:
        s.dhcp = DhcpReport::Enabled;
        s.group_interval = 120 * ((n / 3) % 3); // 0, 120, 240
        // Some agents carry the top bits of word 3 (no reboot hint on errors).
        s.field_mask[3] = (n / 3) % 2 ? 0xE0000000 : 0;
        break;
    }
    s.subnet_mask = 0xFFFE0000; // 255.254.0.0, the /15 of the simulated LAN
    s.gateway = 0xC61200FE;     // 198.18.0.254
    s.trap_ip = 0xC6120001;     // 198.18.0.1, the workstation of scripts/lan
    s.utility_id = utility_id;
    s.trap_text = "Port 1 link up";
    return s;
}

AgentList BuildAgents(std::string_view file_text, int count, uint32_t utility_id) {
    AgentList out;

    // Lines as words; explicit addresses and MACs are reserved first, so that
    // an agent without ip= or mac= never takes one that a later line names.
    std::vector<std::pair<int, std::vector<std::string>>> lines;
    std::set<uint32_t> reserved_ips;
    std::set<MacBytes> reserved_macs;
    int line_no = 0;
    std::size_t pos = 0;
    while (pos < file_text.size()) {
        std::size_t nl = file_text.find('\n', pos);
        if (nl == std::string_view::npos)
            nl = file_text.size();
        const std::string_view line = file_text.substr(pos, nl - pos);
        pos = nl + 1;
        ++line_no;
        auto words = SplitWords(line);
        if (!words) {
            out.error = "line " + std::to_string(line_no) + ": unterminated quote";
            return out;
        }
        if (!words->empty() && (*words)[0] == "agent")
            words->erase(words->begin());
        if (words->empty())
            continue;
        for (const std::string& w : *words) {
            AgentSettings probe;
            if (w.starts_with("ip=") && ApplySetting(probe, w).empty())
                reserved_ips.insert(probe.ip);
            if (w.starts_with("mac=") && ApplySetting(probe, w).empty())
                reserved_macs.insert(probe.mac);
        }
        lines.emplace_back(line_no, std::move(*words));
    }

    std::set<uint32_t> ips;
    std::set<MacBytes> macs;
    int next = 0;
    auto next_default = [&]() {
        while (true) {
            AgentSettings s = DefaultAgent(next++, utility_id);
            if (!reserved_ips.count(s.ip) && !ips.count(s.ip) && !reserved_macs.count(s.mac) &&
                !macs.count(s.mac))
                return s;
        }
    };
    auto add = [&](const AgentSettings& s, const std::string& where) {
        if (ips.count(s.ip) || macs.count(s.mac)) {
            out.error = where + "duplicate address or MAC " + FormatIpv4(s.ip);
            return false;
        }
        ips.insert(s.ip);
        macs.insert(s.mac);
        out.agents.push_back(Agent{s, {}});
        return true;
    };

    for (const auto& [number, words] : lines) {
        const std::string where = "line " + std::to_string(number) + ": ";
        AgentSettings s = next_default();
        for (const std::string& w : words) {
            const std::string err = ApplySetting(s, w);
            if (!err.empty()) {
                out.error = where + err;
                return out;
            }
        }
        if (!add(s, where))
            return out;
    }
    for (int i = 0; i < count; ++i) {
        if (!add(next_default(), "generated agent: "))
            return out;
    }
    return out;
}

std::string DescribeAgent(const AgentSettings& s) {
    std::string d = "ip=" + FormatIpv4(s.ip) + " mac=" + FormatMacText(s.mac);
    d += " product=" + Quoted(s.product_name) + " name=" + Quoted(s.system_name);
    d += " location=" + Quoted(s.location) + " password=" + Quoted(s.password);
    d += " iface=" + std::to_string(s.interface_version);
    d += " mask=" + Hex(s.field_mask[0]) + ',' + Hex(s.field_mask[1]) + ',' + Hex(s.field_mask[2]) +
         ',' + Hex(s.field_mask[3]);
    d += " dhcp=";
    d += s.dhcp == DhcpReport::NotReported ? "none" : s.dhcp == DhcpReport::Enabled ? "1" : "0";
    d += " group=" + std::to_string(s.group_interval);
    d += " subnet=" + FormatIpv4(s.subnet_mask) + " gateway=" + FormatIpv4(s.gateway);
    d += " trap=" + FormatIpv4(s.trap_ip);
    d += " loader=" + std::string(s.loader ? "1" : "0");
    d += " proto=" + std::to_string(s.protocol_version) + " utility=" + Hex(s.utility_id);
    d += " silent=" + std::string(s.silent ? "1" : "0");
    d += " dhcp_fail=" + std::string(s.dhcp_refresh_fails ? "1" : "0");
    d += " silent_after=" + std::to_string(s.silent_after_s);
    d += " trap_every=" + std::to_string(s.trap_every_s);
    d += " reboot=" + std::to_string(s.reboot_s);
    d += " dup=" + std::string(s.dup ? "1" : "0");
    d += " delay_ms=" + std::to_string(s.delay_ms);
    d += " reorder=" + std::string(s.reorder ? "1" : "0");
    d += " wrong_seq=" + std::string(s.wrong_seq ? "1" : "0");
    d += " status=" + std::to_string(s.status) + " burst=" + std::to_string(s.burst);
    d += " claim=" + FormatIpv4(s.claim_ip);
    d += " hostile=" + std::string(s.hostile ? "1" : "0");
    d += " flap=" + std::to_string(s.flap_s);
    d += " set_silent=" + std::string(s.set_silent ? "1" : "0");
    d += " tftp_drop_ack=" + std::to_string(s.tftp_drop_ack);
    d += " tftp_error_at=" + std::to_string(s.tftp_error_at);
    d += " tftp_silent_at=" + std::to_string(s.tftp_silent_at);
    d += " tftp_error_text=" + Quoted(s.tftp_error_text);
    d += " link=" + (s.link.empty() ? std::string("-") : s.link);
    return d;
}

} // namespace kestrel::sim
