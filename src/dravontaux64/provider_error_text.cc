#include "dravontaux64/provider_error_text.h"

namespace dravontaux64 {

namespace {

// Frees a provider text once it has been used; items of length 0 carry none.
void release(const ProviderFunctions& functions, VcertContext context, const VcertTextItem& item) {
  if (item.length != 0) functions.freeMem(context, item.text);
}

std::string textOf(const VcertTextItem& item) {
  return item.text == nullptr ? std::string() : std::string(item.text, item.length);
}

}  // namespace

std::string providerErrorText(const ProviderFunctions& functions, VcertContext context, std::string_view prefix,
                              std::uint32_t code) {
  std::string text(prefix);
  char buffer[kErrorTextBufferSize] = {};
  functions.getErrorText(code, buffer, kErrorTextBufferSize);
  buffer[kErrorTextBufferSize - 1] = '\0';  // a provider that fills the whole buffer still ends here
  text += buffer;

  for (;;) {
    VcertTextItem details{};
    VcertTextItem file{};
    VcertTextItem further{};
    std::uint32_t line = 0;
    if (functions.getErrorLineEx(context, &details, &file, &line, &further) != 0) break;
    text += '\n';
    if (details.length != 0) text += "error details: " + textOf(details);
    if (file.length != 0) text += " in file: " + textOf(file) + " line: " + std::to_string(line);
    release(functions, context, details);
    release(functions, context, file);
    release(functions, context, further);
  }
  return text;
}

}  // namespace dravontaux64
