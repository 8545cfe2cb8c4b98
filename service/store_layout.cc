#include "store_layout.h"

#include <algorithm>
#include <cerrno>

#include "message_codec.h"
#include "percent_text.h"
#include "platform/atomic_file.h"
#include "platform/file.h"
#include "platform/directory.h"
#include "platform/path.h"
#include "text/ascii.h"

namespace dravont_service {

namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

bool keptInDirectoryName(char c, bool first) {
  if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) return true;
  if (c == '@' || c == '_' || c == '-' || c == '+') return true;
  return c == '.' && !first;
}

}  // namespace

std::string mailboxOf(std::string_view address) { return text::asciiLowered(address); }

std::string directoryNameFor(std::string_view name) {
  if (name.empty()) return "%";
  std::string out;
  for (std::size_t i = 0; i < name.size(); ++i) {
    const char c = name[i];
    if (keptInDirectoryName(c, i == 0)) {
      out.push_back(c);
    } else {
      const auto byte = static_cast<unsigned char>(c);
      out.push_back('%');
      out.push_back(kHexDigits[byte >> 4]);
      out.push_back(kHexDigits[byte & 15]);
    }
  }
  return out;
}

std::string nameOfDirectory(std::string_view directoryName) {
  if (directoryName == "%") return "";
  return unescapeWord(directoryName).value_or("");
}

std::string StoreLayout::file(std::string_view name) const { return platform::joinPath(root_, name); }

std::string StoreLayout::stateDirectory(DeliveryState state) const {
  switch (state) {
    case DeliveryState::kInbox: return file("inbox");
    case DeliveryState::kAccepted: return file("archive");
    case DeliveryState::kRejected: return file("rejected");
    case DeliveryState::kFiled: return file("folders");
  }
  return file("inbox");
}

std::string StoreLayout::boxDirectory(DeliveryState state, std::string_view mailboxOrFolder) const {
  return platform::joinPath(stateDirectory(state), directoryNameFor(mailboxOrFolder));
}

std::string StoreLayout::messagePath(DeliveryState state, std::string_view mailboxOrFolder, std::string_view id) const {
  return platform::joinPath(boxDirectory(state, mailboxOrFolder), directoryNameFor(id) + std::string(kMessageFileSuffix));
}

std::string StoreLayout::pendingPath(DeliveryState state, std::string_view mailboxOrFolder, std::string_view id) const {
  std::string path = messagePath(state, mailboxOrFolder, id);
  path.replace(path.size() - kMessageFileSuffix.size(), kMessageFileSuffix.size(), kPendingFileSuffix);
  return path;
}

std::string StoreLayout::reasonPath(std::string_view mailbox, std::string_view id) const {
  return platform::joinPath(boxDirectory(DeliveryState::kRejected, mailbox),
                            directoryNameFor(id) + std::string(kReasonFileSuffix));
}

std::string StoreLayout::arrivalMarkPath(std::string_view mailbox) const {
  // A leading '.' is never part of a directoryNameFor() result, so no
  // message file can have this name.
  return platform::joinPath(boxDirectory(DeliveryState::kInbox, mailbox), ".arrived");
}

int StoreLayout::create() const {
  if (int error = makeDirectories(root_)) return error;
  for (const DeliveryState state :
       {DeliveryState::kInbox, DeliveryState::kAccepted, DeliveryState::kRejected, DeliveryState::kFiled}) {
    if (int error = platform::makeDirectoryDurably(stateDirectory(state))) return error;
  }
  return 0;
}

int makeDirectories(const std::string& path) {
  std::string built = path.starts_with('/') ? "/" : "";
  std::size_t start = 0;
  while (start < path.size()) {
    std::size_t end = path.find('/', start);
    if (end == std::string::npos) end = path.size();
    if (end > start) {
      if (!built.empty() && built.back() != '/') built.push_back('/');
      built.append(path, start, end - start);
      if (int error = platform::makeDirectoryDurably(built)) return error;
    }
    start = end + 1;
  }
  return 0;
}

namespace {

// The sorted names in `directory` that end with `suffix`; the temporary files
// of interrupted atomic writes are skipped (and deleted with `removeLeftovers`).
std::vector<std::string> filesEndingWith(const std::string& directory, std::string_view suffix, bool removeLeftovers) {
  std::vector<platform::DirectoryEntry> entries;
  platform::scanDirectory(directory, "*", entries);
  std::vector<std::string> names;
  for (const platform::DirectoryEntry& entry : entries) {
    if (entry.isDirectory) continue;
    if (platform::isAtomicTemporaryName(entry.name)) {
      if (removeLeftovers) platform::removeFileDurably(platform::joinPath(directory, entry.name));
      continue;
    }
    if (entry.name.ends_with(suffix)) names.push_back(entry.name);
  }
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace

std::vector<std::string> listMessageFiles(const std::string& directory, bool removeLeftovers) {
  return filesEndingWith(directory, kMessageFileSuffix, removeLeftovers);
}

std::vector<std::string> listPendingFiles(const std::string& directory) {
  return filesEndingWith(directory, kPendingFileSuffix, false);
}

std::vector<std::string> listReasonFiles(const std::string& directory) {
  return filesEndingWith(directory, kReasonFileSuffix, false);
}

std::vector<std::string> listSubdirectories(const std::string& directory) {
  std::vector<platform::DirectoryEntry> entries;
  platform::scanDirectory(directory, "*", entries);
  std::vector<std::string> names;
  for (const platform::DirectoryEntry& entry : entries) {
    if (entry.isDirectory) names.push_back(entry.name);
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::string messageIdOfFileName(const std::string& fileName) {
  std::size_t suffix = kMessageFileSuffix.size();
  if (fileName.ends_with(kPendingFileSuffix)) suffix = kPendingFileSuffix.size();
  if (fileName.ends_with(kReasonFileSuffix)) suffix = kReasonFileSuffix.size();
  return nameOfDirectory(std::string_view(fileName).substr(0, fileName.size() - suffix));
}

std::string rejectionReason(const StoreLayout& layout, std::string_view mailbox, std::string_view id) {
  std::string reason;
  if (platform::readWholeFile(layout.reasonPath(mailbox, id), reason) == 0) return reason;
  std::string bytes;
  std::string error;
  if (platform::readWholeFile(layout.messagePath(DeliveryState::kRejected, mailbox, id), bytes) != 0) return "";
  const std::optional<Message> header = decodeMessageHeader(bytes, error);
  return header ? header->reason : "";
}

void markArrival(const StoreLayout& layout, std::string_view mailbox) {
  platform::AppendFile mark;
  mark.open(layout.arrivalMarkPath(mailbox));
}

bool hasConfirmedCopy(const StoreLayout& layout, std::string_view mailbox, std::string_view id) {
  return platform::pathExists(layout.messagePath(DeliveryState::kAccepted, mailbox, id)) ||
         platform::pathExists(layout.messagePath(DeliveryState::kRejected, mailbox, id));
}

bool postTookPlace(const StoreLayout& layout, std::string_view id) {
  for (const DeliveryState state :
       {DeliveryState::kInbox, DeliveryState::kAccepted, DeliveryState::kRejected, DeliveryState::kFiled}) {
    for (const std::string& directory : listSubdirectories(layout.stateDirectory(state))) {
      if (platform::pathExists(layout.messagePath(state, nameOfDirectory(directory), id))) return true;
    }
  }
  return false;
}

}  // namespace dravont_service
