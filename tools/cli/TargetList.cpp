#include "TargetList.h"

#include "ExitCodes.h"
#include "UserFiles.h"

#include <cerrno>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>

namespace kestrel::cli {

namespace {

bool SameTarget(const Target& a, const Target& b) {
    return a.ip == b.ip && a.mac_text == b.mac_text;
}

void Add(std::vector<NamedTarget>& targets, std::string text, const Target& target) {
    for (const NamedTarget& t : targets)
        if (SameTarget(t.target, target))
            return;
    targets.push_back({std::move(text), target});
}

} // namespace

bool TargetsFromStdin(const CommandArgs& args) {
    return args.Value("targets") == std::optional<std::string>("-");
}

std::vector<std::string> TargetLines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        if (const auto hash = line.find('#'); hash != std::string::npos)
            line.resize(hash);
        const auto first = line.find_first_not_of(" \t\r");
        if (first == std::string::npos)
            continue;
        const auto last = line.find_last_not_of(" \t\r");
        lines.push_back(line.substr(first, last - first + 1));
    }
    return lines;
}

int CollectTargets(const CommandArgs& args, std::span<const std::string> words,
                   const DeviceTable& monitor, std::vector<NamedTarget>& targets) {
    if (TargetsFromStdin(args) && args.Has("password-stdin")) {
        std::fprintf(stderr, "kestrel-cli: --targets - and --password-stdin both want standard "
                             "input: give the password another way\n");
        return kExitUsage;
    }
    for (const std::string& word : words) {
        const auto target = ReadTargetArgument(word);
        if (!target)
            return kExitUsage;
        Add(targets, word, *target);
    }
    if (const auto file = args.Value("targets")) {
        std::string text;
        if (*file == "-") {
            text.assign(std::istreambuf_iterator<char>(std::cin), {});
        } else {
            if (!CheckReadableFile(*file))
                return kExitLocalFailure;
            std::ifstream in(*file, std::ios::binary);
            text.assign(std::istreambuf_iterator<char>(in), {});
            if (in.bad()) {
                std::fprintf(stderr, "kestrel-cli: %s\n", FileProblem(*file, EIO).c_str());
                return kExitLocalFailure;
            }
        }
        const std::string source = *file == "-" ? "standard input" : *file;
        for (const std::string& line : TargetLines(text)) {
            const auto target = ParseTarget(line);
            if (!target) {
                std::fprintf(stderr, "kestrel-cli: %s: %s is no IP or MAC address\n",
                             source.c_str(), line.c_str());
                return kExitUsage;
            }
            Add(targets, line, *target);
        }
    }
    if (args.Has("all-monitored")) {
        for (const DeviceRecord& r : monitor.InUse()) {
            const std::string ip(FieldText(r.ip_text));
            if (const auto target = ParseTarget(ip))
                Add(targets, ip, *target);
        }
    }
    // A list that came out empty is nothing to do; no list at all is a
    // mistake.
    if (targets.empty() && !args.Value("targets") && !args.Has("all-monitored")) {
        std::fprintf(stderr, "kestrel-cli: no target: give IP or MAC addresses, --targets FILE "
                             "or --all-monitored\n");
        return kExitUsage;
    }
    return kExitOk;
}

} // namespace kestrel::cli
