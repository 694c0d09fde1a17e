#pragma once
// Which monitored agent "Web access" and a double-click in the monitor list
// open in the web browser, and the address handed to it. Nothing is sent to
// the agent.

#include "protocol/lists/DeviceTables.h"
#include "protocol/seams/Notifier.h"
#include "protocol/set/DeviceSelection.h"

#include <QUrl>

#include <optional>

namespace kestrel {

enum class WebAccessTrigger { Button, DoubleClick };

struct WebAccessTarget {
    std::optional<QUrl> url;        // set when every check passed
    std::optional<Message> failure; // the first check that failed
};

// selection: the discovery list's selected rows, and the monitor list's rows
// with the record of its first selected row. A double-click does not look
// at the discovery list.
WebAccessTarget CheckWebAccess(const DeviceTable& monitor, const ListSelection& selection,
                               WebAccessTrigger trigger);

} // namespace kestrel
