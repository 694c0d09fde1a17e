#include "protocol/polling/PollAccounting.h"

#include <algorithm>
#include <limits>

namespace kestrel {

void AccountPoll(DeviceRecord& record) {
    if (record.reply_flag == kReplied) {
        record.reply_flag = kNotReplied;
        record.missed_polls = 0;
        return;
    }
    // A device silent for years must not overflow the count (or wrap it to a
    // value that reads as "answered").
    if (record.missed_polls < std::numeric_limits<int32_t>::max())
        ++record.missed_polls;
}

void AccountAllPolls(DeviceTable& table) {
    for (DeviceRecord& record : table.InUse())
        AccountPoll(record);
}

} // namespace kestrel
