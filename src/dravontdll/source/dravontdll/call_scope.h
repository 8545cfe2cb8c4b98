// The diagnostics frame every export opens: a stack of call records per
// thread, so that a program that dies inside the library says which export
// it was in.
//
// A CallScope lives on the export's stack for the whole call. Opening it
// pushes a CallRecord describing the export (source file, line and the full
// signature) and makes sure the library's terminate handler is installed;
// closing it pops the record, on every way out. The terminate handler prints
// the records of the terminating thread ("... code %X\r\nTerminating\r\n")
// through perror and aborts; on a thread without records it hands over to
// the handler that was installed before. A hardware fault (SIGSEGV, SIGBUS,
// SIGILL, SIGFPE) inside an export writes the records the same way, each
// with "\r\n SEH exception code <signal>", and then takes its usual course.
#pragma once

#include <source_location>
#include <string>

namespace Quillex {

struct CallRecord {
  char* description;  // "<file> line <n> call <signature>", array new
  char* label;        // "<export name> code %X", array new
  CallRecord* previous;
};

class CallScope {
 public:
  // Throws std::runtime_error when the thread's record slot cannot be
  // allocated, read or set.
  explicit CallScope(const char* exportName, std::source_location where = std::source_location::current());
  ~CallScope();
  CallScope(const CallScope&) = delete;
  CallScope& operator=(const CallScope&) = delete;

 private:
  CallRecord* record_;
};

// The innermost record of the calling thread, or NULL.
const CallRecord* innermostCallRecord();

// Undoes what the first call set up: the terminate handler and the fault
// reporter are put back and the record slot is released. Called when the
// library is unloaded, since both handlers are the library's code.
void releaseCallScopes();

// The text the terminate handler prints for the calling thread's records:
// per record "<description> <label>\r\nTerminating\r\n", innermost first,
// separated by "\r\n"; "Terminating\r\n" without records.
std::string terminationText();

}  // namespace Quillex
