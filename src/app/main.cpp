#include "app/CommandLine.h"
#include "app/switchyard.h"

int main(int argc, char* argv[]) {
    if (const auto code = kestrel::AnswerInfoOptions(argc, argv))
        return *code;
    if (const auto code = kestrel::RefuseUnknownArguments(argc, argv))
        return *code;
    CSwitchyardApp app(argc, argv);
    if (const auto code = kestrel::RefuseLeftoverArguments(app.arguments()))
        return *code;
    return app.Run();
}
