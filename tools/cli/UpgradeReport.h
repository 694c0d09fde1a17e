#pragma once
// What a fleet upgrade says about each agent once its end is known (after
// the rediscovery when the image went over), and the summary at the end.
// Text: "TARGET  OUTCOME  MESSAGE" a line on standard output; --json: one
// object a line with the same facts; the summary counts agents per outcome
// on standard error.

#include "Output.h"

#include <QJsonObject>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace kestrel::cli {

struct UpgradeVerdict {
    std::string target; // as named on the command line or in the targets file
    std::string ip;     // as the agent was found, empty when it was not
    std::string mac;
    int exit_code = 0;
    std::string message;       // the last words said about it, one line
    bool image_stored = false; // the last block was acknowledged
    uint32_t bytes = 0;        // acknowledged of the image's size
};

// OutcomeWord (FleetResult.h), and "skipped" for -1: not started.
std::string UpgradeOutcomeWord(int exit_code);

// The fleet commands' result (FleetResult.h) with image_stored and bytes.
QJsonObject UpgradeVerdictJson(const UpgradeVerdict& verdict);
std::string UpgradeVerdictLine(const UpgradeVerdict& verdict);

// "upgrade: 20 agents: 17 ok, 2 agent-refused, 1 not-found", outcomes from
// the best to the worst.
std::string UpgradeSummary(const std::vector<UpgradeVerdict>& verdicts);

void PrintUpgradeVerdict(const Output& out, const UpgradeVerdict& verdict);

} // namespace kestrel::cli
