// kestrel-ecf: shows and creates define.ecf for administrators; the build
// uses it to write the shipped file.
//
//   kestrel-ecf show FILE
//   kestrel-ecf create FILE [--utility-id HEX8] [--base-port N] [--group A.B.C.D]
//                           [--keepalive 0|1] [--period N]
//
// Exit status: 0 success, 1 a file that cannot be read or written or whose
// checksum does not hold, 2 bad arguments.

#include "protocol/files/FileBytes.h"
#include "protocol/settings/SettingsDefaults.h"
#include "protocol/settings/SettingsFile.h"
#include "protocol/wire/Ipv4Text.h"

#include <charconv>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace {

using namespace kestrel;

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

constexpr const char* kUsage =
    "Usage: kestrel-ecf show FILE\n"
    "       kestrel-ecf create FILE [--utility-id HEX8] [--base-port N] [--group A.B.C.D]\n"
    "                               [--keepalive 0|1] [--period N]\n"
    "  --utility-id  8 hexadecimal digits (default 4B455354)\n"
    "  --base-port   1 to 65535 (default 5010)\n"
    "  --group       multicast group, exactly 15 characters (default 239.255.255.250)\n"
    "  --keepalive   1 to send IGMP keep-alive reports, 0 not to (default 0)\n"
    "  --period      keep-alive period in seconds, 0 to 999999999 (default 120)\n"
    "Shows and creates the settings file define.ecf of the Kestrel Utility.\n"
    "\n"
    "  -h, --help     show this help and exit\n"
    "      --version  show the version and exit\n";

int Usage(const std::string& problem) {
    std::fprintf(stderr, "kestrel-ecf: %s\nTry 'kestrel-ecf --help' for more information.\n",
                 problem.c_str());
    return kExitUsage;
}

// A whole decimal number within [low, high].
std::optional<long> Decimal(std::string_view text, long low, long high) {
    long value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || ec != std::errc{} || end != text.data() + text.size() || value < low ||
        value > high)
        return std::nullopt;
    return value;
}

std::optional<uint32_t> UtilityId(std::string_view text) {
    if (text.size() != 8)
        return std::nullopt;
    uint32_t value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, 16);
    if (ec != std::errc{} || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

int Show(const std::string& path) {
    const FileRead file = ReadFileBytes(path, kLoaderMaxBytes, false);
    switch (file.status) {
    case ReadStatus::Ok:
        break;
    case ReadStatus::Missing:
        std::fprintf(stderr, "kestrel-ecf: %s: no such file\n", path.c_str());
        return kExitFailure;
    case ReadStatus::Unreadable:
        std::fprintf(stderr, "kestrel-ecf: %s: cannot read the file\n", path.c_str());
        return kExitFailure;
    case ReadStatus::NotRegular:
        std::fprintf(stderr, "kestrel-ecf: %s: not a regular file\n", path.c_str());
        return kExitFailure;
    case ReadStatus::TooLarge:
        std::fprintf(stderr,
                     "kestrel-ecf: %s: longer than %zu bytes, the program would refuse it\n",
                     path.c_str(), kLoaderMaxBytes);
        return kExitFailure;
    }
    const DecodedSettings d = DecodeSettingsImage(file.bytes);
    const SettingsEntries& e = d.entries;
    std::printf("utility_id            %08X\n", static_cast<unsigned>(e.utility_id));
    std::printf("base_port             %u\n", static_cast<unsigned>(e.base_port));
    std::printf("multicast_group       %s\n", e.multicast_group.c_str());
    std::printf("multicast_timer_flag  %d\n", e.multicast_timer_flag);
    std::printf("strlen_multi_timer    %d\n", e.timer_length);
    std::printf("multicast_timer       %d\n", e.multicast_timer);
    std::printf("checksum              %s\n", d.checksum_ok ? "ok" : "bad");
    if (d.checksum_ok && !BasePortFits(e.base_port)) {
        std::fprintf(stderr, "kestrel-ecf: %s: %s\n", path.c_str(),
                     BasePortProblem(e.base_port).c_str());
        return kExitFailure;
    }
    return d.checksum_ok ? 0 : kExitFailure;
}

int Create(const std::string& path, const std::vector<std::string_view>& options) {
    ProtocolSettings values = DefaultSettings();
    for (std::size_t i = 0; i < options.size(); i += 2) {
        const std::string_view name = options[i];
        if (i + 1 >= options.size())
            return Usage("option " + std::string(name) + " needs a value");
        const std::string_view value = options[i + 1];
        const std::string shown(value);
        if (name == "--utility-id") {
            const auto id = UtilityId(value);
            if (!id)
                return Usage("--utility-id '" + shown + "': give exactly 8 hexadecimal digits");
            values.utility_id = *id;
        } else if (name == "--base-port") {
            const auto port = Decimal(value, 1, kMaxBasePort);
            if (!port)
                return Usage("--base-port '" + shown + "': give a number from 1 to " +
                             std::to_string(kMaxBasePort) +
                             " (the program uses it and the six ports after it)");
            values.base_port = static_cast<uint16_t>(*port);
        } else if (name == "--group") {
            const auto group = ParseIpv4(value);
            if (value.size() != kMulticastGroupWidth || !group || (*group >> 28) != 0xE)
                return Usage("--group '" + shown +
                             "': give a multicast address of exactly 15 characters, "
                             "e.g. 239.255.255.250 or 239.001.002.003");
            values.multicast_group = shown;
        } else if (name == "--keepalive") {
            const auto flag = Decimal(value, 0, 1);
            if (!flag)
                return Usage("--keepalive '" + shown + "': give 0 or 1");
            values.multicast_timer_flag = static_cast<int>(*flag);
        } else if (name == "--period") {
            const auto period = Decimal(value, 0, 999999999);
            if (!period)
                return Usage("--period '" + shown + "': give a number from 0 to 999999999");
            values.multicast_timer = static_cast<int>(*period);
        } else {
            return Usage("unknown option '" + std::string(name) + "'");
        }
    }
    if (const auto problem = CheckSettingsValues(values))
        return Usage(*problem);
    if (!CreateSettingsFile(path, values)) {
        std::fprintf(stderr, "kestrel-ecf: %s: cannot write the file\n", path.c_str());
        return kExitFailure;
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    const std::vector<std::string_view> args(argv + 1, argv + argc);
    if (args.empty())
        return Usage("no command given");
    const std::string_view command = args[0];
    if (command == "--help" || command == "-h") {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (command == "--version") {
        std::puts("kestrel-ecf " KESTREL_VERSION);
        return 0;
    }
    if (command.starts_with('-'))
        return Usage("unknown option '" + std::string(command) + "'");
    if (args.size() < 2)
        return Usage("no FILE given");
    const std::string path(args[1]);
    const std::vector<std::string_view> rest(args.begin() + 2, args.end());
    if (command == "show") {
        if (!rest.empty())
            return Usage("show takes only FILE");
        return Show(path);
    }
    if (command == "create")
        return Create(path, rest);
    return Usage("unknown command '" + std::string(command) + "'");
}
