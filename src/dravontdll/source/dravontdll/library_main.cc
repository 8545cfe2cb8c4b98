// The library's load-time entry: the platform calls these from the system's
// loader. Only the shared library contains this file; the tests call
// attachProcess() themselves.
#include "dravontdll/library_state.h"
#include "platform/library_entry.h"

namespace platform::library_entry {

bool onProcessAttach() { return Quillex::attachProcess(); }
void onProcessDetach() { Quillex::detachProcess(); }
void onThreadAttach() { Quillex::attachThread(); }
void onThreadDetach() { Quillex::detachThread(); }

}  // namespace platform::library_entry
