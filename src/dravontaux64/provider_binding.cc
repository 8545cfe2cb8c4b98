#include "dravontaux64/provider_binding.h"

#include <string>
#include <system_error>

namespace dravontaux64 {

namespace {

// "zpki1.dll" and "xpki1.dll", or what stands for them on the build's
// system (set by the build).
constexpr const char* kLibraryOfKind6 = PROVIDER_LIBRARY_OF_KIND6;
constexpr const char* kLibraryOfKind5 = PROVIDER_LIBRARY_OF_KIND5;

[[noreturn]] void raise(const std::string& text) { throw std::system_error(0, std::system_category(), text); }

// Looks one function up; a missing one unloads the provider and raises the
// text that names it.
template <typename Function>
void resolve(ProviderBinding& binding, const char* name, Function& slot) {
  slot = binding.library->function<Function>(name);
  if (slot != nullptr) return;
  binding.library.reset();
  raise(std::string("Can't find ") + name + " function in crypto DLL");
}

}  // namespace

ProviderBinding bindProvider() {
  ProviderBinding binding;
  std::string loaderError;
  binding.library = platform::DynamicLibrary::open(kLibraryOfKind6, loaderError);
  binding.kind = ProviderKind::kSix;
  if (binding.library == nullptr) {
    binding.library = platform::DynamicLibrary::open(kLibraryOfKind5, loaderError);
    binding.kind = ProviderKind::kFive;
  }
  if (binding.library == nullptr) raise("Can't load x64 xpki1.dll or zpki1.dll");

  ProviderFunctions& f = binding.functions;
  const bool six = binding.kind == ProviderKind::kSix;
  resolve(binding, "VCERT_InitMinimal", f.initMinimal);
  resolve(binding, "VCERT_GetErrorText", f.getErrorText);
  resolve(binding, "VCERT_GetErrorLineEx", f.getErrorLineEx);
  resolve(binding, "VCERT_Uninitialize", f.uninitialize);
  if (six) {
    resolve(binding, "VCERT_CmsStrSignDetachFile", f.cmsStrSignDetachFile);
    resolve(binding, "VCERT_CmsBlkSignAttachFile", f.cmsBlkSignAttachFile);
    resolve(binding, "VCERT_CmsStrMsgInfFile", f.cmsStrMsgInfFile);
    resolve(binding, "VCERT_CmsFreeMsgInf", f.cmsFreeMsgInf);
  } else {
    resolve(binding, "VCERT_DetachSignFile", f.detachSignFile);
    resolve(binding, "VCERT_AttachSignFile", f.attachSignFile);
    resolve(binding, "VCERT_SignedInfoFile", f.signedInfoFile);
    resolve(binding, "VCERT_FreeSignedInfoResult", f.freeSignedInfoResult);
  }
  resolve(binding, "VCERT_FreeMem", f.freeMem);
  return binding;
}

}  // namespace dravontaux64
