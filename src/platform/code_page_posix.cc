#include "platform/code_page.h"

#include <langinfo.h>
#include <locale.h>

#include "text/unicode.h"

namespace platform {

std::string codePageDescription() {
  // The environment's locale, read without changing the process's own.
  std::string codeset;
  if (const locale_t locale = ::newlocale(LC_CTYPE_MASK, "", static_cast<locale_t>(0))) {
    if (const char* name = ::nl_langinfo_l(CODESET, locale)) codeset = name;
    ::freelocale(locale);
  }
  return codeset.empty() ? "UTF-8" : "UTF-8 (locale codeset " + codeset + ")";
}

bool textsAreUtf8() { return true; }

bool ansiFromUtf8(std::string_view utf8, std::string& ansi) {
  ansi.assign(utf8);
  return text::isValidUtf8(utf8);
}

bool utf8FromAnsi(std::string_view ansi, std::string& utf8) {
  utf8.assign(ansi);
  return true;
}

}  // namespace platform
