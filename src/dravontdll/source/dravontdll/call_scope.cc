#include "dravontdll/call_scope.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <memory>
#include <mutex>
#include <new>
#include <stdexcept>

#include "platform/fault_signals.h"
#include "platform/thread.h"

namespace Quillex {

namespace {

std::once_flag recordSlotOnce;
platform::ThreadSlot* recordSlot = nullptr;
std::terminate_handler previousTerminateHandler = nullptr;

char* copyText(const std::string& text) {
  char* copy = new char[text.size() + 1];
  std::memcpy(copy, text.c_str(), text.size() + 1);
  return copy;
}

void writeInSignal(const char* text) { platform::writeStandardErrorInSignal(text, std::strlen(text)); }

// A hardware fault inside an export: the thread's records, innermost first,
// each followed by the fault's code in decimal, written with async-signal-safe calls
// only. A fault outside the library's calls is not the library's to explain.
void reportFaultWithCallRecords(unsigned long faultCode) {
  const auto* record = static_cast<const CallRecord*>(recordSlot->get());
  if (record == nullptr) return;
  char code[24];
  char* digits = code + sizeof code;
  *--digits = '\0';
  unsigned long value = faultCode;
  do {
    *--digits = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value != 0 && digits > code);
  for (bool first = true; record != nullptr; record = record->previous, first = false) {
    if (!first) writeInSignal("\r\n");
    writeInSignal(record->description);
    writeInSignal(" ");
    writeInSignal(record->label);
    writeInSignal("\r\n SEH exception code ");
    writeInSignal(digits);
  }
  writeInSignal("\r\n");
}

[[noreturn]] void terminateWithCallRecords() {
  if (innermostCallRecord() == nullptr && previousTerminateHandler != nullptr) {
    // Not inside the library on this thread: the program's own handler decides.
    previousTerminateHandler();
  }
  std::perror(terminationText().c_str());
  std::abort();
}

// Allocated once per process, also when two threads make their first call
// at the same moment. The terminate handler is process-wide here, so it is
// installed once as well and tells the library's calls apart by thread.
void setUpRecordSlot() {
  std::unique_ptr<platform::ThreadSlot> slot = platform::ThreadSlot::create(nullptr);
  if (!slot) throw std::runtime_error("Can't allocate thread local storage index for SEH exceptions translation");
  recordSlot = slot.release();
  previousTerminateHandler = std::set_terminate(terminateWithCallRecords);
  platform::installFaultReporter(reportFaultWithCallRecords);
}

}  // namespace

CallScope::CallScope(const char* exportName, std::source_location where) : record_(nullptr) {
  std::call_once(recordSlotOnce, setUpRecordSlot);

  auto* previous = static_cast<CallRecord*>(recordSlot->get());
  std::string description = std::string(where.file_name()) + " line " + std::to_string(where.line()) + " call " +
                            where.function_name();
  std::string label = std::string(exportName) + " code %X";

  auto record = std::make_unique<CallRecord>(CallRecord{nullptr, nullptr, previous});
  record->description = copyText(description);
  record->label = copyText(label);
  if (!recordSlot->set(record.get())) {
    delete[] record->description;
    delete[] record->label;
    throw std::runtime_error("Can't set thread local storage for SEH exceptions translation");
  }
  record_ = record.release();
}

CallScope::~CallScope() {
  recordSlot->set(record_->previous);
  delete[] record_->description;
  delete[] record_->label;
  delete record_;
}

const CallRecord* innermostCallRecord() {
  return recordSlot != nullptr ? static_cast<const CallRecord*>(recordSlot->get()) : nullptr;
}

std::string terminationText() {
  const CallRecord* record = innermostCallRecord();
  if (record == nullptr) return "Terminating\r\n";
  std::string text;
  for (; record != nullptr; record = record->previous) {
    if (!text.empty()) text += "\r\n";
    text += record->description;
    text += " ";
    text += record->label;
    text += "\r\nTerminating\r\n";
  }
  return text;
}

void releaseCallScopes() {
  if (recordSlot == nullptr) return;
  platform::removeFaultReporter();
  if (std::get_terminate() == terminateWithCallRecords) std::set_terminate(previousTerminateHandler);
  delete recordSlot;
  recordSlot = nullptr;
}

}  // namespace Quillex
