// The export that reads the calling thread's last error. It opens no call
// scope and changes nothing.
#include "dravont/dravontdll.h"
#include "dravontdll/last_error.h"

namespace Quillex {

extern "C" DRAVONT_API const char* GetLastDravontError(void) { return lastErrorText(); }

}  // namespace Quillex
