#include "trasvik/library_text.h"

#include <cstdlib>

namespace trasvik {

LibraryText::~LibraryText() { std::free(text_); }

char** LibraryText::out() {
  std::free(text_);
  text_ = nullptr;
  return &text_;
}

long LibraryText::number() const { return text_ != nullptr ? std::strtol(text_, nullptr, 10) : 0; }

}  // namespace trasvik
