#include "address_book.h"

#include <cerrno>
#include <system_error>

#include "percent_text.h"
#include "platform/atomic_file.h"
#include "platform/file.h"
#include "qnsys/ini_file.h"

namespace dravont_service {

namespace {

std::string readText(const std::string& path, std::string& text) {
  const int error = platform::readWholeFile(path, text);
  if (error == 0 || error == ENOENT) return "";
  return "cannot read " + path + ": " + std::generic_category().message(error);
}

}  // namespace

std::string AddressBook::open() {
  std::string text;
  if (std::string error = readText(participantsPath_, text); !error.empty()) return error;
  std::lock_guard<std::mutex> lock(mutex_);
  participants_.clear();
  const qnsys::IniFile ini = qnsys::IniFile::parse(text);
  if (const auto* entries = ini.entries("participants")) {
    for (const qnsys::IniEntry& entry : *entries) {
      // mailbox=address settings-path
      const std::size_t blank = entry.value.find(' ');
      if (blank == std::string::npos) continue;
      const std::optional<std::string> address = unescapeWord(std::string_view(entry.value).substr(0, blank));
      const std::optional<std::string> path = unescapeWord(std::string_view(entry.value).substr(blank + 1));
      if (address && path) participants_[mailboxOf(*address)] = {*address, *path};
    }
  }
  return readHandKept();
}

std::string AddressBook::readHandKept() {
  std::string text;
  if (std::string error = readText(addressBookPath_, text); !error.empty()) return error;
  const qnsys::IniFile ini = qnsys::IniFile::parse(text);
  addresses_.clear();
  folders_.clear();
  if (const auto* entries = ini.entries("addresses")) {
    for (const qnsys::IniEntry& entry : *entries) {
      if (entry.value != "0") addresses_[mailboxOf(entry.key)] = {entry.key, entry.value};
    }
  }
  if (const auto* entries = ini.entries("folders")) {
    for (const qnsys::IniEntry& entry : *entries) {
      if (!entry.value.empty()) folders_[mailboxOf(entry.key)] = {entry.key, entry.value};
    }
  }
  return "";
}

std::string AddressBook::registerParticipant(const std::string& address, const std::string& settingsPath) {
  std::lock_guard<std::mutex> lock(mutex_);
  const std::string mailbox = mailboxOf(address);
  const auto found = participants_.find(mailbox);
  if (found != participants_.end() && found->second.value == settingsPath) return "";
  Table changed = participants_;
  changed[mailbox] = {address, settingsPath};
  std::string text = "; participants that opened a context: mailbox=address settings-file, %-escaped\n[participants]\n";
  for (const auto& [key, entry] : changed) {
    text += escapeIniKey(key) + "=" + escapeWord(entry.address) + " " + escapeWord(entry.value) + "\n";
  }
  if (int error = platform::replaceFileAtomically(participantsPath_, text)) {
    return "cannot write " + participantsPath_ + ": " + std::generic_category().message(error);
  }
  participants_.swap(changed);
  return "";
}

bool AddressBook::isKnownAddress(std::string_view address) {
  std::lock_guard<std::mutex> lock(mutex_);
  const std::string mailbox = mailboxOf(address);
  const auto known = [&] { return participants_.count(mailbox) != 0 || addresses_.count(mailbox) != 0; };
  if (known()) return true;
  readHandKept();
  return known();
}

std::optional<std::string> AddressBook::folderOf(std::string_view address) {
  std::lock_guard<std::mutex> lock(mutex_);
  const std::string mailbox = mailboxOf(address);
  auto found = folders_.find(mailbox);
  if (found == folders_.end()) {
    readHandKept();
    found = folders_.find(mailbox);
    if (found == folders_.end()) return std::nullopt;
  }
  return found->second.value;
}

std::map<std::string, std::string> AddressBook::plain(const Table& table) {
  std::map<std::string, std::string> out;
  for (const auto& [key, entry] : table) out[entry.address] = entry.value;
  return out;
}

std::map<std::string, std::string> AddressBook::participants() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return plain(participants_);
}

std::map<std::string, std::string> AddressBook::handKeptAddresses() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return plain(addresses_);
}

std::map<std::string, std::string> AddressBook::folders() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return plain(folders_);
}

}  // namespace dravont_service
