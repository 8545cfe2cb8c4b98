#include "dravontaux64/argument_text.h"

#include <string_view>

namespace dravontaux64 {

std::vector<std::string> splitArgumentText(const char* text) {
  std::vector<std::string> fields;
  if (text == nullptr) return fields;
  std::string_view rest(text);
  for (std::size_t star = rest.find('*'); star != std::string_view::npos; star = rest.find('*')) {
    if (star > 0) fields.emplace_back(rest.substr(0, star));
    rest.remove_prefix(star + 1);
  }
  fields.emplace_back(rest);
  return fields;
}

}  // namespace dravontaux64
