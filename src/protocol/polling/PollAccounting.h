#pragma once
// Poll accounting: every request that expects an answer from a monitored
// device counts as a poll. A reply or trap since the previous accounting
// clears the miss count; otherwise the device misses one more poll.

#include "protocol/lists/DeviceTables.h"
#include "protocol/wire/DeviceRecord.h"

namespace kestrel {

// One device, right before a unicast request to it.
void AccountPoll(DeviceRecord& record);

// Every record in use (0 to count-1, in table order), before a discovery or a
// set request sent by broadcast and multicast.
void AccountAllPolls(DeviceTable& table);

} // namespace kestrel
