#pragma once
// The program's words for the outcomes the core reports: the boxes the
// window shows, which kestrel-cli prints as its lines too.

#include "protocol/seams/Notifier.h"
#include "protocol/seams/Outcomes.h"
#include "protocol/upgrade/Rediscovery.h"

#include <string>

namespace kestrel {

// The box of a failed send; storage holds words made for it.
Message SendFailureMessage(const SendFailure& failure, std::string& storage);
// The box that ends a rediscovery.
Message RediscoveryMessage(Rediscovery::Outcome outcome);
// The box of an agent's error status; storage holds its words.
Message StatusReplyMessage(const StatusReply& reply, std::string& storage);

} // namespace kestrel
