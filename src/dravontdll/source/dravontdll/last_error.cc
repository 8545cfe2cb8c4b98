#include "dravontdll/last_error.h"

#include <cstring>
#include <new>

#include "dravontdll/library_state.h"

namespace Quillex {

int recordLastError(const char* text) {
  if (text == nullptr || text[0] == '\0') return 0;
  platform::ThreadSlot& slot = lastErrorSlot();
  freeLastErrorText(slot.get());
  slot.set(nullptr);
  const std::size_t length = std::strlen(text);
  char* copy = new (std::nothrow) char[length + 1];
  if (copy != nullptr) {
    std::memcpy(copy, text, length + 1);
    slot.set(copy);
  }
  return 2;
}

const char* lastErrorText() { return static_cast<const char*>(lastErrorSlot().get()); }

void freeLastErrorText(void* text) { delete[] static_cast<char*>(text); }

}  // namespace Quillex
