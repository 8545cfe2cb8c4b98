#include "trasvik/ini_encoding.h"

#include "platform/code_page.h"
#include "platform/dynamic_library.h"
#include "qnsys/qnsys.h"
#include "text/declared_encoding.h"

namespace trasvik {

namespace {

using EncodingCall = int (*)(int ini);
using EnumRefusedCall = int (*)(int ini, QnIniEnumRefusedCallback callback, void* context);

int collectRefused(int, const char* section, const char* key, void* context) {
  auto& texts = *static_cast<std::vector<std::string>*>(context);
  const std::string codePage = platform::codePageDescription();
  if (*key == '\0') {
    texts.push_back("Section name [" + std::string(section) + "] can't be written in " + codePage);
  } else {
    texts.push_back("Value of [" + std::string(section) + "]:" + key + " can't be written in " + codePage);
  }
  return 0;
}

}  // namespace

std::string iniEncodingName() {
  const auto call = reinterpret_cast<EncodingCall>(platform::loadedSymbol("QnSys.dll", "QnIniGetEncoding"));
  const int encoding = call != nullptr ? call(QNSYS_OPEN_INI) : -1;
  if (encoding < QNSYS_INI_BYTES || encoding > QNSYS_INI_UTF16BE) return std::string();
  return text::declaredEncodingName(static_cast<text::DeclaredEncoding>(encoding));
}

std::vector<std::string> iniTextsRefused() {
  std::vector<std::string> texts;
  const auto call = reinterpret_cast<EnumRefusedCall>(platform::loadedSymbol("QnSys.dll", "QnIniCustEnumRefused"));
  if (call != nullptr) call(QNSYS_OPEN_INI, collectRefused, &texts);
  return texts;
}

}  // namespace trasvik
