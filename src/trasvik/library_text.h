// A text the client library handed back (a script's result, a message id),
// allocated with the C runtime's allocator given to InitContext and freed
// here with its deallocator.
#pragma once

namespace trasvik {

class LibraryText {
 public:
  LibraryText() = default;
  ~LibraryText();
  LibraryText(const LibraryText&) = delete;
  LibraryText& operator=(const LibraryText&) = delete;

  // The text, or nullptr when the library gave none.
  const char* text() const { return text_; }
  // The text, "" when there is none.
  const char* c_str() const { return text_ != nullptr ? text_ : ""; }
  bool empty() const { return text_ == nullptr || text_[0] == '\0'; }
  // The text as a decimal number: leading white space, an optional sign and
  // the leading digits; 0 when there are none (also for no text).
  long number() const;
  // For the library's char** output argument; frees a text held before.
  char** out();

 private:
  char* text_ = nullptr;
};

}  // namespace trasvik
