// What the library sets up when it is loaded and when a thread first uses
// it: the service port, the transport verbosity and the three per-thread
// slots (XML-RPC client, last-error text, allocation callback), published
// to other programs through the exported data of dravontdll.h.
#pragma once

#include "platform/thread.h"

namespace Quillex {

class XmlRpcClient;

// The allocation callback a caller hands to InitContext.
using AllocateFunction = void* (*)(unsigned int);

inline constexpr int kDefaultRpcPort = 12069;
// The answer time-out of every thread's client (XMLRPCTIMEOUT, seconds).
inline constexpr int kDefaultAnswerTimeoutSeconds = 300;
inline constexpr int kMaxAnswerTimeoutSeconds = 86400;

// Load-time set-up, in order: the module handle, verbosity 0, the three slots,
// the port from XMLRPCPORT, the verbosity from XMLRPCVERBOSITY, the answer
// time-out from XMLRPCTIMEOUT, then the loading thread's client. False when a slot cannot be allocated (the load
// fails). Calling it again after a successful load does nothing.
bool attachProcess();
// Unload: the unloading thread's client and error text, then the slots.
void detachProcess();
// Thread attach and detach, where the system reports them (Windows): a
// client and an empty last error for a new thread; an ending thread's client
// and error text freed. Elsewhere a thread's client is made on its first
// call and released by the slot's destructor when the thread ends.
void attachThread();
void detachThread();

// The integer value of an environment text as the library reads it: a text
// of 1 to 15 characters gives its leading integer part (0 for a non-number);
// an absent, empty or longer text gives `fallback`.
int environmentInteger(const char* variable, int fallback);

// The calling thread's XML-RPC client, created on the thread's first call
// when the thread had no attach notification (it ran before the load, or the
// system gives none). A thread whose slot cannot be set is ended with exit
// code 127.
XmlRpcClient& threadClient();

// The last-error slot. Valid between attachProcess() and detachProcess().
platform::ThreadSlot& lastErrorSlot();

// The calling thread's allocation callback (NULL before InitContext).
AllocateFunction threadAllocateFunction();
void setThreadAllocateFunction(AllocateFunction allocate);

}  // namespace Quillex
