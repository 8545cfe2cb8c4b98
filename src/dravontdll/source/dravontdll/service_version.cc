#include "dravontdll/service_version.h"

#include <cctype>
#include <cstdlib>

namespace Quillex {

namespace {

std::size_t firstDigitFrom(const std::string& text, std::size_t position) {
  while (position < text.size() && !std::isdigit(static_cast<unsigned char>(text[position]))) ++position;
  return position;
}

}  // namespace

bool parseServiceVersion(const std::string& text, ServiceVersion& version) {
  int numbers[4] = {0, 0, 0, 0};
  std::size_t position = firstDigitFrom(text, 0);
  for (int i = 0; i < 4; ++i) {
    if (position >= text.size()) return false;
    numbers[i] = std::atoi(text.c_str() + position);
    if (i < 3) {
      const std::size_t dot = text.find('.', position);
      if (dot == std::string::npos) return false;
      position = firstDigitFrom(text, dot);
    }
  }
  version = ServiceVersion{numbers[0], numbers[1], numbers[2], numbers[3]};
  return true;
}

}  // namespace Quillex
