#include "PollAccounting.h"

#include <algorithm>
#include <limits>

namespace kestrel {

void AccountPoll(DeviceRecord& record) {
    if (record.reply_flag == 1) {
        record.reply_flag = 0;
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
