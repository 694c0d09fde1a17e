#pragma once
// One agent's outcome in a command over several agents: a line of text
// ("TARGET  OUTCOME  MESSAGE") or a JSON object on standard output, by the
// global options; nothing with --quiet.

#include "Output.h"

#include <QJsonObject>

#include <string>
#include <string_view>

namespace kestrel::cli {

struct AgentOutcome {
    std::string target;  // as the user named it
    std::string ip;      // the agent's, when it answered
    std::string mac;     // the agent's, when it answered
    int code = 0;        // ExitCode
    std::string message; // the last words said about it (UTF-8)
};

// "ok", "not-found", "agent-refused", ... for an exit code.
std::string_view OutcomeWord(int code);

QJsonObject OutcomeJson(std::string_view command, const AgentOutcome& outcome);
std::string OutcomeLine(const AgentOutcome& outcome);

void PrintOutcome(const Output& out, std::string_view command, const AgentOutcome& outcome);

} // namespace kestrel::cli
