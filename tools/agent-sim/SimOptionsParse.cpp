#include "SimOptionsParse.h"

#include "protocol/wire/Ipv4Text.h"

#include <algorithm>
#include <array>
#include <charconv>

namespace kestrel::sim {

namespace {

template <typename T> bool Number(const std::string& text, T& out, int base = 10) {
    std::string_view v = text;
    if (base == 16 && (v.starts_with("0x") || v.starts_with("0X")))
        v.remove_prefix(2);
    auto [end, ec] = std::from_chars(v.data(), v.data() + v.size(), out, base);
    return !v.empty() && ec == std::errc{} && end == v.data() + v.size();
}

} // namespace

namespace {
constexpr std::array kValueOptions = {
    "--config",    "--report",          "--count",   "--base-port", "--utility-id", "--trap-port",
    "--tftp-port", "--tftp-reply-port", "--pace-us", "--group",     "--workstation"};
} // namespace

std::optional<CommandLine> ParseCommandLine(const std::vector<std::string>& args,
                                            std::string& error) {
    CommandLine c;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& flag = args[i];
        if (flag == "--keep-running") {
            c.keep_running = true;
            continue;
        }
        if (std::find(kValueOptions.begin(), kValueOptions.end(), flag) == kValueOptions.end()) {
            error = "unknown option '" + flag + "'";
            return std::nullopt;
        }
        if (i + 1 >= args.size()) {
            error = "missing value for " + flag;
            return std::nullopt;
        }
        const std::string& v = args[++i];
        bool ok = true;
        if (flag == "--config") {
            c.config_file = v;
        } else if (flag == "--report") {
            c.report_file = v;
        } else if (flag == "--count") {
            ok = Number(v, c.count) && c.count >= 0 && c.count <= 60000;
        } else if (flag == "--base-port") {
            ok = Number(v, c.sim.base_port);
        } else if (flag == "--utility-id") {
            ok = Number(v, c.utility_id, 16);
        } else if (flag == "--trap-port") {
            ok = Number(v, c.sim.trap_port);
        } else if (flag == "--tftp-port") {
            ok = Number(v, c.tftp_port);
        } else if (flag == "--tftp-reply-port") {
            ok = Number(v, c.tftp_reply_port);
        } else if (flag == "--pace-us") {
            ok = Number(v, c.pace_us) && c.pace_us >= 0 && c.pace_us <= 1000000;
        } else if (flag == "--group" || flag == "--workstation") {
            const auto a = ParseIpv4(v);
            ok = a.has_value();
            if (ok)
                (flag == "--group" ? c.sim.multicast_group : c.sim.workstation) = *a;
        }
        if (!ok) {
            error = "bad value for " + flag + ": " + v;
            return std::nullopt;
        }
    }
    return c;
}

} // namespace kestrel::sim
