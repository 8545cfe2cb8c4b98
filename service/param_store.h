// The named parameters scripts keep with readParam/saveParam and clients with
// "ReadDravontParam"/"SaveDravontParam": one table for the whole store, kept
// in STORE/params.ini (section [params], keys and values escaped) and
// rewritten atomically on every change, so values survive restarts and
// crashes. Thread-safe.
#pragma once

#include <map>
#include <mutex>
#include <optional>
#include <string>

#include "store_layout.h"

namespace dravont_service {

class ParamStore {
 public:
  explicit ParamStore(const StoreLayout& layout) : path_(layout.file("params.ini")) {}

  // Loads the file (a missing file is an empty table). Returns "" or the
  // reason it cannot be read.
  std::string load();

  std::optional<std::string> read(const std::string& key) const;
  // Stores the value durably; returns "" or the reason it failed (the table
  // then keeps its previous value).
  std::string save(const std::string& key, const std::string& value);

  std::map<std::string, std::string> all() const;

  // The parameters of a params.ini text.
  static std::map<std::string, std::string> parse(const std::string& text);

 private:
  std::string path_;
  mutable std::mutex mutex_;
  std::map<std::string, std::string> values_;
};

}  // namespace dravont_service
