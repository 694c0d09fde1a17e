#include "WorstExit.h"

#include "ExitCodes.h"

namespace kestrel::cli {

int ExitSeverity(int code) {
    switch (code) {
    case kExitOk:
        return 0;
    case kExitInterrupted:
        return 1000;
    case kExitUsage:
        return 900;
    case kExitLocalFailure:
        return 800;
    default:
        return code; // 3..8: the later the stage, the worse
    }
}

void WorstExit::Add(int code) {
    if (ExitSeverity(code) > ExitSeverity(code_))
        code_ = code;
}

} // namespace kestrel::cli
