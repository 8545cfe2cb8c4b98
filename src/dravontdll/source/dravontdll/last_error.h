// The calling thread's last-error text. Each thread has its own; it is
// replaced on each failure and never cleared by a success.
#pragma once

namespace Quillex {

// Records `text` as the thread's last error. An empty (or NULL) text changes
// nothing and yields 0; a non-empty one replaces the previous text and
// yields 2, also when no memory is left for the copy (the text is then NULL).
int recordLastError(const char* text);

// The thread's last-error text, or NULL. Owned by the library.
const char* lastErrorText();

// Frees a last-error text (the slot's destructor at thread exit).
void freeLastErrorText(void* text);

}  // namespace Quillex
