/* The shared library's own translation unit. Everything else comes from the
 * converter core; compiling this file as C checks that the public header is
 * valid C for the outside callers. The converter is released at unload by
 * the core's static destructor. */
#include "dravontaux64/dravontaux64.h"
