/* The shared library's own translation unit; everything else comes from
 * qnsys_core. It is compiled as C so that every build checks that the public
 * header is valid C. */
#include "qnsys/qnsys.h"

_Static_assert(sizeof(unsigned int) == 4, "error codes are 32-bit values");
_Static_assert(QNERROR_INVALID_ARGUMENT >= 0xE0000000u && QNERROR_LOG_OPEN_FAILED <= 0xEFFFFFFFu,
               "error codes lie in the 0xE... range");
