#include "script_code_page.h"

#include "platform/code_page.h"

namespace dravont_service {

std::string engineText(std::string_view hostText) {
  std::string utf8;
  platform::utf8FromAnsi(hostText, utf8);
  return utf8;
}

std::string hostText(std::string_view engineText) {
  std::string ansi;
  platform::ansiFromUtf8(engineText, ansi);
  return ansi;
}

}  // namespace dravont_service
