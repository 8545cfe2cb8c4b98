// Who can be written to: every participant that ever opened a context
// (remembered in STORE/participants.ini) and the addresses and folders kept
// by hand in STORE/addressbook.ini:
//   [addresses]  EMAIL@T.S=1
//   [folders]    EMAIL@T.S=folder name
// Addresses compare ignoring ASCII letter case. The hand-kept file is read
// again when a lookup misses, so entries added while the service runs are
// seen. Thread-safe.
#pragma once

#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "store_layout.h"

namespace dravont_service {

class AddressBook {
 public:
  explicit AddressBook(const StoreLayout& layout)
      : participantsPath_(layout.file("participants.ini")), addressBookPath_(layout.file("addressbook.ini")) {}

  // Reads both files (missing files are empty). Returns "" or the failure.
  std::string open();

  // Remembers a participant durably. Returns "" or the failure.
  std::string registerParticipant(const std::string& address, const std::string& settingsPath);

  bool isKnownAddress(std::string_view address);
  // The folder an address names, if it is listed under [folders].
  std::optional<std::string> folderOf(std::string_view address);

  // address -> settings path
  std::map<std::string, std::string> participants() const;
  std::map<std::string, std::string> handKeptAddresses() const;  // address -> value
  std::map<std::string, std::string> folders() const;            // address -> folder name

 private:
  struct Entry {
    std::string address;  // as first written
    std::string value;
  };
  using Table = std::map<std::string, Entry>;  // by mailbox

  std::string readHandKept();
  static std::map<std::string, std::string> plain(const Table& table);

  std::string participantsPath_;
  std::string addressBookPath_;
  mutable std::mutex mutex_;
  Table participants_;
  Table addresses_;
  Table folders_;
};

}  // namespace dravont_service
