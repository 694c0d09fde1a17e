#pragma once
// The utility's command line: --help and --version, answered before any
// window or display is needed, and nothing else of its own. Qt's options
// (-platform, -style, ...) are taken by QApplication; whatever is left after
// it is refused.

#include <QStringList>

#include <optional>

namespace kestrel {

// The exit code when an option asked for text and the program ends here.
std::optional<int> AnswerInfoOptions(int argc, char** argv);

// Before QApplication, which aborts without a display: the exit code (2,
// with a message on standard error) for an argument that is neither one of
// Qt's options nor its value.
std::optional<int> RefuseUnknownArguments(int argc, char** argv);

// After QApplication took its own options: the exit code (2, with a message
// on standard error) when anything else is left.
std::optional<int> RefuseLeftoverArguments(const QStringList& arguments);

} // namespace kestrel
