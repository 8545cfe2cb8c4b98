/* Compiled as C: the public header must be valid C and its exports callable
 * from C. Called by c_header_test.cc. */
#include <stddef.h>
#include <string.h>

#include "dravont/dravontdll.h"

int callLibraryFromC(void) {
  DravontAddress_s address;
  DravontMessage_s* none = NULL;
  const char* error;
  if (InitDravontAddressByHandle(&address, (DravontContext_s*)7, 42u) != 0) return 1;
  if (GetDravontAddressHandle(&address) != 42) return 2;
  if (GetDravontMessageHandle(none) != 0) return 3;
  error = GetLastDravontError();
  if (error == NULL || strcmp(error, "Invalid DravontMessage pointer") != 0) return 4;
  if (sizeof(ProtectionLevel_t) != sizeof(int) || DetachedSignedEcripted != 6) return 5;
  return 0;
}
