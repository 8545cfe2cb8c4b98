#include "trasvik/state_file.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <ctime>
#include <sstream>

#include "platform/atomic_file.h"
#include "platform/file.h"
#include "platform/environment.h"
#include "platform/file_lock.h"
#include "platform/path.h"
#include "rule/file_moves.h"
#include "rule/held_files.h"
#include "rule/rule_text.h"
#include "trasvik/ini_values.h"
#include "trasvik/gateway_log.h"
#include "trasvik/instance_lock.h"
#include "trasvik/notification.h"

namespace trasvik {

namespace {

// One change a line, fields separated by tabs:
//   post <leg a|f> <started|posted> <size> <modified> <token> <path>   (sets the leg's entry;
//        files of earlier versions have no <token>)
//   unpost <leg> <path>        forget <path>
//   receipt <written> <message id> <directory> <name>...       (sets the message's entry)
//   unreceipt <message id>
//   saved <written> <token> <message id> <directory> <name>... (a message saved with a token)
//   attachments <token> <attachment name>...   (follows the token's saved line; earlier
//        versions wrote none, and ignore it with a warning)
// The post lines of one post are written in the message's order and keep
// it: a replayed or compacted journal lists them in the same order.
// Texts escape '%', tab, CR and LF as %25, %09, %0D, %0A. A last line
// without its line feed was cut short by a crash and is ignored.
// A journal longer than this many lines beyond its live entries is
// replaced by them.
constexpr std::size_t kSlackLines = 1000;
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

// The message id, directory and names of a receipt or saved line.
std::string messageFields(const SavedMessage& message) {
  std::string text = escaped(message.messageId) + "\t" + escaped(message.record.directory);
  for (const std::string& name : message.record.names) text += "\t" + escaped(name);
  return text;
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

// What became of a recorded file.
enum class FileFate { kUnchanged, kChanged, kGone };

FileFate fateOf(const FileIdentity& file) {
  platform::FileFacts facts;
  if (platform::fileFacts(file.path, facts) != 0) return FileFate::kGone;
  return facts.size == file.size && facts.modifiedNanoseconds == file.modified ? FileFate::kUnchanged
                                                                               : FileFate::kChanged;
}

// The names of `added` that `names` lacks (counting repeats) are appended.
void addNames(std::vector<std::string>& names, const std::vector<std::string>& added) {
  std::vector<std::string> missing = added;
  for (const std::string& name : names) {
    const auto found = std::find(missing.begin(), missing.end(), name);
    if (found != missing.end()) missing.erase(found);
  }
  names.insert(names.end(), missing.begin(), missing.end());
}

}  // namespace

bool leftOutOfInterruptedPost(const FileIdentity& recorded) {
  const FileFate fate = fateOf(recorded);
  if (fate == FileFate::kUnchanged) return false;
  if (fate == FileFate::kGone) {
    GATEWAY_WARNING("File \"%s\" may have been posted before the crash, but it is gone; it is not posted again",
                    recorded.path.c_str());
  } else {
    GATEWAY_WARNING("File \"%s\" may have been posted before the crash, but it has changed since; it is posted as "
                    "a new file",
                    recorded.path.c_str());
  }
  return true;
}

StateFile& stateFile() {
  static StateFile state;
  return state;
}

namespace {

// The INI file's name without its last extension, plus ".state".
std::string defaultStateName(const std::string& iniPath) { return platform::stemName(iniPath) + ".state"; }

// Where a state file without a directory goes: the state directory a
// service manager gives the gateway (systemd's StateDirectory=, which the
// packaged unit sets: the INI files' directory is read-only there), else
// the INI file's directory. Never the working directory, which differs
// between ways of starting the same gateway.
std::string stateDirectoryPrefix(const std::string& iniPath) {
  const std::string given = platform::environmentVariable("STATE_DIRECTORY").value_or("");
  return given.empty() ? platform::directoryPrefix(iniPath) : platform::withTrailingSeparator(given);
}

}  // namespace

std::string defaultStatePath(const std::string& iniPath) {
  return stateDirectoryPrefix(iniPath) + defaultStateName(iniPath);
}

StateFileSetting stateFileSetting(const std::string& iniPath) {
  StateFileSetting setting;
  const std::string value = iniText("trasvik", "statefile", 1024);
  setting.none = value == "none";
  setting.formerPath = setting.none || value.empty() ? defaultStateName(iniPath) : value;
  setting.path = platform::isRelativePath(setting.formerPath)
                     ? platform::joinPath(stateDirectoryPrefix(iniPath), setting.formerPath)
                     : setting.formerPath;
  return setting;
}

void takeOverFormerStateFile(const std::string& formerPath, const std::string& path) {
  const std::string former = platform::absolutePath(formerPath).value_or(formerPath);
  if (former == platform::absolutePath(path) || platform::pathExists(path) || !platform::pathExists(former)) return;
  // An earlier gateway still running from that directory keeps its file.
  const std::string formerLock = instanceLockPath(former);
  int error = 0;
  std::string holder;
  auto lock = platform::ExclusiveFileLock::tryAcquire(formerLock, error, "", &holder);
  if (!lock) {
    GATEWAY_WARNING("State file \"%s\" is not taken over: %s", former.c_str(),
                    lockRefusal(formerLock, error, holder).c_str());
    return;
  }
  if (const int failure = platform::moveFile(former, path)) {
    GATEWAY_WARNING("Can't take over state file \"%s\" as \"%s\", %s", former.c_str(), path.c_str(),
                    errnoText(failure).c_str());
    return;
  }
  lock.reset();
  platform::removeFile(formerLock);
  GATEWAY_INFO("State file \"%s\" of an earlier version taken over as \"%s\"", former.c_str(), path.c_str());
}

bool StateFile::read(const std::string& path, std::string& error) {
  posts_.clear();
  receipts_.clear();
  saved_.clear();
  path_.clear();
  journal_.close();
  std::string contents;
  if (const int failure = retryWhileHeld(path, [&] { return platform::readWholeFile(path, contents); });
      failure != 0 && failure != ENOENT) {
    error = errnoText(failure);
    return false;
  }
  std::istringstream lines(contents);
  std::string line;
  if (!contents.empty() && (!std::getline(lines, line) || line != kHeader)) {
    error = "not a state file of this gateway";
    return false;
  }
  while (std::getline(lines, line)) {
    if (lines.eof()) break;  // no line feed: cut short by a crash
    if (!apply(line)) GATEWAY_WARNING("State file \"%s\": line ignored: \"%s\"", path.c_str(), line.c_str());
  }
  return true;
}

std::vector<std::string> StateFile::postedPaths() const {
  std::vector<std::string> paths;
  for (const PostEntry& entry : posts_) {
    if (entry.posted && std::find(paths.begin(), paths.end(), entry.file.path) == paths.end()) {
      paths.push_back(entry.file.path);
    }
  }
  return paths;
}

bool StateFile::open(const std::string& path, std::string& error) {
  if (!read(path, error)) return false;
  // A file whose post was interrupted is named when it leaves the record;
  // one posted and gone was moved on after its post.
  std::erase_if(posts_, [](const PostEntry& entry) {
    return entry.posted ? fateOf(entry.file) != FileFate::kUnchanged : leftOutOfInterruptedPost(entry.file);
  });
  const std::int64_t oldest = now() - kReceiptLifetimeSeconds;
  std::erase_if(receipts_, [&](const ReceiptEntry& entry) { return entry.written < oldest; });
  trimSavedMessages();
  path_ = path;
  try {
    compact();
  } catch (int) {
    path_.clear();
    error = "it cannot be written";
    return false;
  }
  return true;
}

PostState StateFile::postState(const FileIdentity& file, SendLeg leg) const {
  for (const PostEntry& entry : posts_) {
    if (entry.leg == leg && entry.file == file) return entry.posted ? PostState::kPosted : PostState::kStarted;
  }
  return PostState::kNone;
}

bool StateFile::holdsPostOf(const std::string& path) const {
  return std::any_of(posts_.begin(), posts_.end(), [&](const PostEntry& entry) { return entry.file.path == path; });
}

std::string StateFile::startedToken(const std::vector<FileIdentity>& files, SendLeg leg) const {
  std::string token;
  for (const FileIdentity& file : files) {
    const auto entry = std::find_if(posts_.begin(), posts_.end(),
                                    [&](const PostEntry& e) { return e.leg == leg && e.file == file && !e.posted; });
    if (entry == posts_.end() || entry->token.empty() || (!token.empty() && entry->token != token)) return {};
    token = entry->token;
  }
  return token;
}

std::vector<InterruptedPost> StateFile::interruptedPosts() const {
  std::vector<InterruptedPost> result;
  for (const PostEntry& entry : posts_) {
    if (entry.posted || entry.token.empty()) continue;
    const auto post = std::find_if(result.begin(), result.end(), [&](const InterruptedPost& p) {
      return p.leg == entry.leg && p.token == entry.token;
    });
    if (post != result.end()) {
      post->files.push_back(entry.file);
    } else {
      result.push_back({entry.leg, entry.token, {entry.file}});
    }
  }
  return result;
}

void StateFile::recordPostStarted(const std::vector<FileIdentity>& files, SendLeg leg, const std::string& token) {
  std::string lines;
  for (const FileIdentity& file : files) lines += postLine({file, leg, false, token});
  change(lines, Reach::kDurably);
}

void StateFile::recordPosted(const std::vector<FileIdentity>& files, SendLeg leg, const std::string& token) {
  std::string lines;
  for (const FileIdentity& file : files) lines += postLine({file, leg, true, token});
  change(lines, Reach::kWritten);
}

void StateFile::forgetPost(const std::vector<FileIdentity>& files, SendLeg leg) {
  std::string lines;
  for (const FileIdentity& file : files) {
    lines += "unpost\t" + std::string(1, static_cast<char>(leg)) + "\t" + escaped(file.path) + "\n";
  }
  change(lines, Reach::kLazily);
}

void StateFile::forgetFile(const std::string& path) {
  if (holdsPostOf(path)) change("forget\t" + escaped(path) + "\n", Reach::kLazily);
}

std::optional<ReceiptRecord> StateFile::receipt(const std::string& messageId) const {
  for (const ReceiptEntry& entry : receipts_) {
    if (entry.messageId == messageId) return entry.record;
  }
  return std::nullopt;
}

void StateFile::recordReceipt(const std::string& messageId, const ReceiptRecord& record, const std::string& token,
                              const std::vector<std::string>& attachmentNames) {
  SavedMessage message{messageId, now(), record, std::nullopt};
  std::string lines = receiptLine(message);
  if (!token.empty()) {
    // A message that repeated only part of an earlier one under its token
    // keeps the earlier one's names too: a later copy of either is known.
    const SavedMessage* earlier = savedMessage(token);
    std::vector<std::string> names;
    if (earlier != nullptr && earlier->messageId != messageId && earlier->attachmentNames) {
      names = *earlier->attachmentNames;
    }
    addNames(names, attachmentNames);
    message.attachmentNames = std::move(names);
    lines += savedLine(token, message);
  }
  change(lines, Reach::kDurably);
}

const SavedMessage* StateFile::savedMessage(const std::string& token) const {
  const auto found = saved_.find(token);
  return found == saved_.end() ? nullptr : &found->second;
}

void StateFile::trimSavedMessages() {
  const std::int64_t oldest = now() - kSavedLifetimeSeconds;
  std::erase_if(saved_, [&](const auto& entry) { return entry.second.written < oldest; });
  if (saved_.size() <= kMostSavedMessages) return;
  std::vector<std::pair<std::int64_t, std::string>> byAge;
  byAge.reserve(saved_.size());
  for (const auto& [token, message] : saved_) byAge.emplace_back(message.written, token);
  const std::size_t surplus = saved_.size() - kMostSavedMessages;
  std::nth_element(byAge.begin(), byAge.begin() + static_cast<std::ptrdiff_t>(surplus), byAge.end());
  for (std::size_t i = 0; i < surplus; ++i) saved_.erase(byAge[i].second);
}

void StateFile::forgetReceipt(const std::string& messageId) {
  if (receipt(messageId)) change("unreceipt\t" + escaped(messageId) + "\n", Reach::kLazily);
}

void StateFile::flush() {
  if (path_.empty()) return;
  if (!unflushed_.empty()) {
    const std::string lines = std::move(unflushed_);
    unflushed_.clear();
    if (const int error = journal_.write(lines)) failWrite(error);
  }
  if (journalLines_ > liveEntries() + kSlackLines) compact();
  if (!unsynced_) return;
  if (const int error = journal_.flushToDisk()) failWrite(error);
  unsynced_ = false;
}

std::string StateFile::postLine(const PostEntry& entry) {
  return "post\t" + std::string(1, static_cast<char>(entry.leg)) + "\t" + (entry.posted ? "posted" : "started") +
         "\t" + std::to_string(entry.file.size) + "\t" + std::to_string(entry.file.modified) + "\t" +
         escaped(entry.token) + "\t" + escaped(entry.file.path) + "\n";
}

std::string StateFile::savedLine(const std::string& token, const SavedMessage& message) {
  std::string lines =
      "saved\t" + std::to_string(message.written) + "\t" + escaped(token) + "\t" + messageFields(message) + "\n";
  if (!message.attachmentNames) return lines;
  lines += "attachments\t" + escaped(token);
  for (const std::string& name : *message.attachmentNames) lines += "\t" + escaped(name);
  return lines + "\n";
}

std::string StateFile::receiptLine(const ReceiptEntry& entry) {
  return "receipt\t" + std::to_string(entry.written) + "\t" + messageFields(entry) + "\n";
}

bool StateFile::apply(const std::string& line) {
  const std::vector<std::string> f = fields(line);
  const bool legField = f.size() > 1 && (f[1] == "a" || f[1] == "f");
  if (f[0] == "post" && (f.size() == 6 || f.size() == 7) && legField && (f[2] == "started" || f[2] == "posted")) {
    PostEntry entry{{f.back(), 0, 0}, static_cast<SendLeg>(f[1][0]), f[2] == "posted", f.size() == 7 ? f[5] : ""};
    if (!readNumber(f[3], entry.file.size) || !readNumber(f[4], entry.file.modified)) return false;
    std::erase_if(posts_, [&](const PostEntry& e) { return e.leg == entry.leg && e.file.path == entry.file.path; });
    posts_.push_back(std::move(entry));
  } else if (f[0] == "unpost" && f.size() == 3 && legField) {
    std::erase_if(posts_, [&](const PostEntry& e) { return e.leg == static_cast<SendLeg>(f[1][0]) && e.file.path == f[2]; });
  } else if (f[0] == "forget" && f.size() == 2) {
    std::erase_if(posts_, [&](const PostEntry& e) { return e.file.path == f[1]; });
  } else if (f[0] == "receipt" && f.size() >= 4) {
    ReceiptEntry entry{f[2], 0, {f[3], {f.begin() + 4, f.end()}}, std::nullopt};
    if (!readNumber(f[1], entry.written)) return false;
    std::erase_if(receipts_, [&](const ReceiptEntry& e) { return e.messageId == entry.messageId; });
    receipts_.push_back(std::move(entry));
  } else if (f[0] == "unreceipt" && f.size() == 2) {
    std::erase_if(receipts_, [&](const ReceiptEntry& e) { return e.messageId == f[1]; });
  } else if (f[0] == "saved" && f.size() >= 5) {
    SavedMessage message{f[3], 0, {f[4], {f.begin() + 5, f.end()}}, std::nullopt};
    if (!readNumber(f[1], message.written)) return false;
    saved_[f[2]] = std::move(message);
  } else if (f[0] == "attachments" && f.size() >= 2) {
    const auto saved = saved_.find(f[1]);
    if (saved == saved_.end()) return false;
    saved->second.attachmentNames.emplace(f.begin() + 2, f.end());
  } else {
    return false;
  }
  return true;
}

void StateFile::change(const std::string& lines, Reach reach) {
  std::istringstream each(lines);
  for (std::string line; std::getline(each, line);) apply(line);
  if (path_.empty()) return;
  unflushed_ += lines;
  journalLines_ += static_cast<std::size_t>(std::count(lines.begin(), lines.end(), '\n'));
  if (reach == Reach::kLazily) return;
  // The lazily dropped entries go with it, in one write.
  const std::string pending = std::move(unflushed_);
  unflushed_.clear();
  if (const int error = journal_.write(pending)) failWrite(error);
  if (reach == Reach::kWritten) {
    unsynced_ = true;
    return;
  }
  // The written changes before it reach the disk with it.
  if (const int error = journal_.flushToDisk()) failWrite(error);
  unsynced_ = false;
}

std::string StateFile::snapshot() const {
  std::string text = std::string(kHeader) + "\n";
  for (const PostEntry& entry : posts_) text += postLine(entry);
  for (const ReceiptEntry& entry : receipts_) text += receiptLine(entry);
  for (const auto& [token, message] : saved_) text += savedLine(token, message);
  return text;
}

void StateFile::compact() {
  trimSavedMessages();
  journal_.close();
  unflushed_.clear();
  const std::string text = snapshot();
  const int error = retryWhileHeld(path_, [&] { return platform::replaceFileAtomically(path_, text); });
  // A file another program holds keeps its journal, which says the same at
  // greater length: it is compacted in a later pass.
  if (error != 0 && !isHoldError(error)) failWrite(error);
  if (error != 0 && !compactionHeld_) {
    GATEWAY_WARNING("State file \"%s\" is held by another program and is compacted later, %s", path_.c_str(),
                    errnoText(error).c_str());
  }
  compactionHeld_ = error != 0;
  if (const int failure = retryWhileHeld(path_, [&] { return journal_.open(path_); })) failWrite(failure);
  if (error == 0) {
    journalLines_ = liveEntries();
    unsynced_ = false;  // the new file was flushed whole
  }
}

void StateFile::failWrite(int error) {
  reportCantContinue("Can't write state file \"%s\", %s", path_.c_str(), errnoText(error).c_str());
  throw kMoveFailure;
}

}  // namespace trasvik
