#include "FleetResult.h"

#include "ExitCodes.h"

namespace kestrel::cli {

namespace {

QString Utf8(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

} // namespace

std::string_view OutcomeWord(int code) {
    switch (code) {
    case kExitOk:
        return "ok";
    case kExitUsage:
        return "usage-error";
    case kExitLocalFailure:
        return "local-failure";
    case kExitRefusedInput:
        return "refused-input";
    case kExitNotFound:
        return "not-found";
    case kExitAgentRefused:
        return "agent-refused";
    case kExitNoAnswer:
        return "no-answer";
    case kExitTransferFailed:
        return "transfer-failed";
    case kExitNotBack:
        return "not-back";
    case kExitInterrupted:
        return "interrupted";
    default:
        return "failed";
    }
}

QJsonObject OutcomeJson(std::string_view command, const AgentOutcome& outcome) {
    QJsonObject o{{QStringLiteral("time"), IsoNow()},
                  {QStringLiteral("command"), Utf8(command)},
                  {QStringLiteral("target"), Utf8(outcome.target)},
                  {QStringLiteral("outcome"), Utf8(OutcomeWord(outcome.code))},
                  {QStringLiteral("exit_code"), outcome.code},
                  {QStringLiteral("message"), Utf8(outcome.message)}};
    if (!outcome.ip.empty())
        o.insert(QStringLiteral("ip"), Utf8(outcome.ip));
    if (!outcome.mac.empty())
        o.insert(QStringLiteral("mac"), Utf8(outcome.mac));
    return o;
}

std::string OutcomeLine(const AgentOutcome& outcome) {
    std::string line = outcome.target + "  " + std::string(OutcomeWord(outcome.code));
    if (!outcome.message.empty()) {
        line += "  ";
        // The program's words may hold line breaks; a result is one line.
        bool space = false;
        for (const char c : outcome.message) {
            const bool blank = c == '\n' || c == '\r' || c == ' ';
            if (blank && !space)
                line.push_back(' ');
            else if (!blank)
                line.push_back(c);
            space = blank;
        }
        while (!line.empty() && line.back() == ' ')
            line.pop_back();
    }
    return line;
}

void PrintOutcome(const Output& out, std::string_view command, const AgentOutcome& outcome) {
    if (out.json())
        out.JsonObjectLine(OutcomeJson(command, outcome));
    else
        out.DataLine(OutcomeLine(outcome));
}

} // namespace kestrel::cli
