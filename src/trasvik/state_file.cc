#include "trasvik/state_file.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <ctime>
#include <sstream>

#include "platform/atomic_file.h"
#include "platform/file.h"
#include "rule/file_moves.h"
#include "rule/rule_text.h"
#include "trasvik/gateway_log.h"
#include "trasvik/notification.h"

namespace trasvik {

namespace {

// One entry a line, fields separated by tabs:
//   post <leg a|f> <started|posted> <size> <modified> <path>
//   receipt <written> <message id> <directory> <name>...
// Texts escape '%', tab, CR and LF as %25, %09, %0D, %0A.
constexpr char kHeader[] = "trasvik state 1";

std::string escaped(const std::string& text) {
  std::string result;
  for (const char c : text) {
    switch (c) {
      case '%': result += "%25"; break;
      case '\t': result += "%09"; break;
      case '\r': result += "%0D"; break;
      case '\n': result += "%0A"; break;
      default: result += c;
    }
  }
  return result;
}

std::string unescaped(const std::string& text) {
  std::string result;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size()) {
      unsigned value = 0;
      const auto [end, error] = std::from_chars(text.data() + i + 1, text.data() + i + 3, value, 16);
      if (error == std::errc() && end == text.data() + i + 3) {
        result += static_cast<char>(value);
        i += 2;
        continue;
      }
    }
    result += text[i];
  }
  return result;
}

std::vector<std::string> fields(const std::string& line) {
  std::vector<std::string> result;
  std::size_t start = 0;
  for (;;) {
    const std::size_t tab = line.find('\t', start);
    result.push_back(unescaped(line.substr(start, tab == std::string::npos ? std::string::npos : tab - start)));
    if (tab == std::string::npos) return result;
    start = tab + 1;
  }
}

template <typename Number>
bool readNumber(const std::string& text, Number& value) {
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  return error == std::errc() && end == text.data() + text.size();
}

std::int64_t now() { return static_cast<std::int64_t>(std::time(nullptr)); }

// The file is still the one recorded.
bool stillThere(const FileIdentity& file) {
  platform::FileFacts facts;
  return platform::fileFacts(file.path, facts) == 0 && facts.size == file.size && facts.modified == file.modified;
}

}  // namespace

StateFile& stateFile() {
  static StateFile state;
  return state;
}

std::string defaultStatePath(const std::string& iniPath) {
  const std::size_t separator = iniPath.find_last_of("/\\");
  std::string name = separator == std::string::npos ? iniPath : iniPath.substr(separator + 1);
  if (const std::size_t dot = name.find_last_of('.'); dot != std::string::npos && dot > 0) name.resize(dot);
  return name + ".state";
}

bool StateFile::open(const std::string& path, std::string& error) {
  posts_.clear();
  receipts_.clear();
  path_.clear();
  std::string contents;
  if (const int failure = platform::readWholeFile(path, contents); failure != 0 && failure != ENOENT) {
    error = errnoText(failure);
    return false;
  }
  if (!contents.empty() && !parse(path, contents)) {
    error = "not a state file of this gateway";
    return false;
  }
  const std::size_t loaded = posts_.size() + receipts_.size();
  std::erase_if(posts_, [](const PostEntry& entry) { return !stillThere(entry.file); });
  const std::int64_t oldest = now() - kReceiptLifetimeSeconds;
  std::erase_if(receipts_, [&](const ReceiptEntry& entry) { return entry.written < oldest; });
  path_ = path;
  dirty_ = posts_.size() + receipts_.size() != loaded;
  return true;
}

PostState StateFile::postState(const FileIdentity& file, SendLeg leg) const {
  for (const PostEntry& entry : posts_) {
    if (entry.leg == leg && entry.file == file) return entry.posted ? PostState::kPosted : PostState::kStarted;
  }
  return PostState::kNone;
}

void StateFile::erasePost(const FileIdentity& file, SendLeg leg) {
  std::erase_if(posts_, [&](const PostEntry& entry) { return entry.leg == leg && entry.file.path == file.path; });
}

void StateFile::setPost(const std::vector<FileIdentity>& files, SendLeg leg, bool posted) {
  for (const FileIdentity& file : files) {
    erasePost(file, leg);
    posts_.push_back({file, leg, posted});
  }
  write();
}

void StateFile::recordPostStarted(const std::vector<FileIdentity>& files, SendLeg leg) { setPost(files, leg, false); }

void StateFile::recordPosted(const std::vector<FileIdentity>& files, SendLeg leg) { setPost(files, leg, true); }

void StateFile::forgetPost(const std::vector<FileIdentity>& files, SendLeg leg) {
  for (const FileIdentity& file : files) erasePost(file, leg);
  dirty_ = true;
}

void StateFile::forgetFile(const std::string& path) {
  dirty_ = std::erase_if(posts_, [&](const PostEntry& entry) { return entry.file.path == path; }) > 0 || dirty_;
}

std::optional<ReceiptRecord> StateFile::receipt(const std::string& messageId) const {
  for (const ReceiptEntry& entry : receipts_) {
    if (entry.messageId == messageId) return entry.record;
  }
  return std::nullopt;
}

void StateFile::recordReceipt(const std::string& messageId, const ReceiptRecord& record) {
  std::erase_if(receipts_, [&](const ReceiptEntry& entry) { return entry.messageId == messageId; });
  receipts_.push_back({messageId, now(), record});
  write();
}

void StateFile::forgetReceipt(const std::string& messageId) {
  dirty_ =
      std::erase_if(receipts_, [&](const ReceiptEntry& entry) { return entry.messageId == messageId; }) > 0 || dirty_;
}

void StateFile::flush() {
  if (dirty_) write();
}

std::string StateFile::text() const {
  std::string text = std::string(kHeader) + "\n";
  for (const PostEntry& entry : posts_) {
    text += "post\t" + std::string(1, static_cast<char>(entry.leg)) + "\t" + (entry.posted ? "posted" : "started") +
            "\t" + std::to_string(entry.file.size) + "\t" + std::to_string(entry.file.modified) + "\t" +
            escaped(entry.file.path) + "\n";
  }
  for (const ReceiptEntry& entry : receipts_) {
    text += "receipt\t" + std::to_string(entry.written) + "\t" + escaped(entry.messageId) + "\t" +
            escaped(entry.record.directory);
    for (const std::string& name : entry.record.names) text += "\t" + escaped(name);
    text += "\n";
  }
  return text;
}

bool StateFile::parse(const std::string& path, const std::string& text) {
  std::istringstream lines(text);
  std::string line;
  if (!std::getline(lines, line) || line != kHeader) return false;
  while (std::getline(lines, line)) {
    const std::vector<std::string> f = fields(line);
    if (f[0] == "post" && f.size() == 6 && (f[1] == "a" || f[1] == "f") && (f[2] == "started" || f[2] == "posted")) {
      PostEntry entry{{f[5], 0, 0}, static_cast<SendLeg>(f[1][0]), f[2] == "posted"};
      if (readNumber(f[3], entry.file.size) && readNumber(f[4], entry.file.modified)) {
        posts_.push_back(std::move(entry));
        continue;
      }
    } else if (f[0] == "receipt" && f.size() >= 4) {
      ReceiptEntry entry{f[2], 0, {f[3], {f.begin() + 4, f.end()}}};
      if (readNumber(f[1], entry.written)) {
        receipts_.push_back(std::move(entry));
        continue;
      }
    }
    GATEWAY_WARNING("State file \"%s\": line ignored: \"%s\"", path.c_str(), line.c_str());
  }
  return true;
}

void StateFile::write() {
  dirty_ = false;
  if (path_.empty()) return;
  if (const int error = platform::replaceFileAtomically(path_, text())) {
    reportCantContinue("Can't write state file \"%s\", %s", path_.c_str(), errnoText(error).c_str());
    throw kMoveFailure;
  }
}

}  // namespace trasvik
