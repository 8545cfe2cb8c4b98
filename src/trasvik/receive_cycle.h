// The receive cycle: reading an incoming message, offering it to the rules
// and confirming it to the service.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "dravont/dravontdll.h"
#include "trasvik/message_info.h"

namespace trasvik {

class Rule;

// Dispatch results.
inline constexpr int kDispatchAccepted = 0;
inline constexpr int kDispatchStop = 2;
inline constexpr int kDispatchRejected = 3;
inline constexpr int kDispatchDeferred = 4;

// Reads the message into `info`; false with the reason in info.failure
// (and info.messageId when it was read). May throw ContextError, or the
// int kMoveFailure after a failure that is not a reading failure.
bool readMessageInfo(Quillex::DravontMessage_s& message, MessageInfo& info);

// Reads the message, offers it to `rules` in order (the main rule, last,
// takes every message) and confirms it. Returns kDispatchAccepted,
// kDispatchRejected (unreadable; rejected with the reason) or
// kDispatchStop (the gateway must stop; the message stays unconfirmed) or
// kDispatchDeferred (a file of it stayed held by another program; the
// message stays unconfirmed, and the pass collects no more).
int dispatchMessage(Quillex::DravontMessage_s& message, const std::vector<std::unique_ptr<Rule>>& rules);

// Confirms (accept) or rejects the message, retrying a failure five times
// with pauses of 1 to 5 seconds; the first failure records the pending
// confirmation. 0 or the library's last result.
int confirmWithRetry(Quillex::DravontMessage_s& message, const std::string& messageId, bool reject,
                     const std::string& reason);

// A confirmation that failed and is carried out by id at the next service
// session start.
struct PendingConfirmation {
  std::string messageId;  // empty: nothing pending
  std::string reason;     // empty: accept; else reject with this reason
};
PendingConfirmation& pendingConfirmation();

// What a pass received and rejected, for its summary record. The counts
// outlive a session lost in the middle of the pass, and take in the
// confirmation carried out at the next session's start, so that the summary
// of the pass that goes on counts every message it saved.
struct PassCounts {
  unsigned received = 0;
  unsigned rejected = 0;
};
PassCounts& passCounts();

// What the gateway did since it started, for its last record: messages
// received and rejected (passes ended; the current pass is in
// passCounts()), and the files of its posts that the service took.
struct RunCounts {
  unsigned long long received = 0;
  unsigned long long rejected = 0;
  unsigned long long postedFiles = 0;
};
RunCounts& runCounts();

// The information record a rule writes after saving attachment
// `attachmentIndex` (0-based) of the message to `savedPath`.
void logSaved(const Rule& rule, const std::string& savedPath, const MessageInfo& info, std::size_t attachmentIndex);

}  // namespace trasvik
