#pragma once
// serve: the headless service's entry in kestrel-cli's command table.

#include "Commands.h"

namespace kestrel::cli {

CommandEntry ServeCommand();
int RunServe(const CommandArgs& args);

} // namespace kestrel::cli
