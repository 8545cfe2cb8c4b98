// The library's two exports and the process's one converter
// (pDravontAux64): created by the first call with a complete argument text,
// kept until the library is unloaded (or the program ends). Not thread-safe.
#include "dravontaux64/dravontaux64.h"

#include <exception>
#include <memory>

#include "dravontaux64/argument_text.h"
#include "dravontaux64/dravont_aux64.h"
#include "dravontaux64/file_log.h"

namespace dravontaux64 {

namespace {

// Destroyed with the library's other statics at unload, which ends the
// crypto context, unloads the provider and closes the log.
std::unique_ptr<DravontAux64> pDravontAux64;

enum class Operation { kAttach, kDetach };

// With fewer than five fields does nothing at all. Otherwise makes sure the
// converter exists (the log path and level count only for its creation) and
// runs the operation on the three paths.
void runOperation(Operation operation, const char* arguments) {
  try {
    const std::vector<std::string> fields = splitArgumentText(arguments);
    if (fields.size() < kRequiredFieldCount) return;
    if (pDravontAux64 == nullptr) {
      pDravontAux64 = DravontAux64::create(fields[kLogPathField], fields[kLogLevelField]);
      if (pDravontAux64 == nullptr) return;
    }
    const char* path1 = fields[kFirstPathField].c_str();
    const char* path2 = fields[kSecondPathField].c_str();
    const char* path3 = fields[kThirdPathField].c_str();
    if (operation == Operation::kAttach) {
      pDravontAux64->attachSignature(path1, path2, path3);
    } else {
      pDravontAux64->detachSignature(path1, path2, path3);
    }
  } catch (const std::exception& failure) {
    // Nothing may leave through the C interface; what is left to say goes to
    // the log (out of memory while composing a record, for instance).
    FILE_LOG(LogLevel::kError) << failure.what();
  } catch (...) {
    FILE_LOG(LogLevel::kError) << "Unknown exception in signature conversion";
  }
}

}  // namespace

}  // namespace dravontaux64

extern "C" {

DRAVONTAUX64_EXPORT void AttachSignature(void*, void*, const char* arguments, int) {
  dravontaux64::runOperation(dravontaux64::Operation::kAttach, arguments);
}

DRAVONTAUX64_EXPORT void DetachSignature(void*, void*, const char* arguments, int) {
  dravontaux64::runOperation(dravontaux64::Operation::kDetach, arguments);
}

}  // extern "C"
