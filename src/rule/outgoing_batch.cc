#include "rule/outgoing_batch.h"

#include <algorithm>
#include <cstdlib>
#include <stdexcept>

#include "platform/path.h"
#include "rule/outgoing_stream.h"
#include "rule/recorded_post.h"
#include "trasvik/gateway_log.h"
#include "trasvik/library_text.h"
#include "trasvik/notification.h"
#include "trasvik/session.h"
#include "trasvik/state_file.h"

namespace trasvik {

namespace {

// The stream's "length" property: an unsigned decimal byte count.
std::uint64_t streamLength(Quillex::DravontStream_s& stream) {
  LibraryText text;
  if (Quillex::GetDravontStreamProperty(&stream, "length", text.out()) != 0) {
    const std::string error = lastError();
    reportCantContinue("Can't get stream length with error \"%s\"", error.c_str());
    throw std::runtime_error("Can't get stream length with error \"" + error + "\"");
  }
  return std::strtoull(text.c_str(), nullptr, 10);
}

}  // namespace

void OutgoingFile::release() {
  if (!open) return;
  Quillex::FreeDravontStream(&stream);
  open = false;
}

OutgoingBatch::~OutgoingBatch() {
  for (OutgoingFile& file : files_) file.release();
}

bool OutgoingBatch::add(FileEntry& entry, const std::string& directory) {
  OutgoingFile file;
  file.entry = &entry;
  file.path = directory + entry.name;
  if (!openOutgoingFile(file.path, file.stream)) return false;
  file.open = true;
  files_.push_back(std::move(file));
  return true;
}

void OutgoingBatch::dropLast() {
  files_.back().release();
  files_.pop_back();
}

BatchFit fitIntoBatch(std::uint64_t length, std::uint64_t total, std::uint32_t limit) {
  // The scan let only files of at most `limit` bytes through, so each fits
  // into a message alone; one that is longer now would make a message over
  // the limit.
  if (length > limit) return BatchFit::kSetAside;
  // Within the limit the length and its low 32 bits agree; the total is
  // kept in 64 bits so that it cannot wrap.
  return total + length > limit ? BatchFit::kNextMessage : BatchFit::kTake;
}

std::size_t collectBatch(std::vector<FileEntry>& entries, std::size_t next, const std::string& directory,
                         const std::string& ruleName, std::uint32_t limit, OutgoingBatch& batch) {
  std::uint64_t total = 0;
  while (next < entries.size()) {
    // Entries are dropped only behind the batch's own, which therefore stay
    // where they are.
    if (!batch.add(entries[next], directory)) {
      entries.erase(entries.begin() + static_cast<std::ptrdiff_t>(next));
      continue;
    }
    const std::uint64_t length = streamLength(batch.files().back().stream);
    switch (fitIntoBatch(length, total, limit)) {
      case BatchFit::kTake:
        total += length;
        ++next;
        break;
      case BatchFit::kNextMessage:
        batch.dropLast();
        return next;
      case BatchFit::kSetAside:
        GATEWAY_WARNING("Rule [%s]: File \"%s\" has grown to %llu bytes since the scan, more than maxattachmentsize "
                        "%u; it stays in the directory",
                        ruleName.c_str(), batch.files().back().path.c_str(),
                        static_cast<unsigned long long>(length), static_cast<unsigned>(limit));
        batch.dropLast();
        entries.erase(entries.begin() + static_cast<std::ptrdiff_t>(next));
        break;
    }
  }
  return next;
}

std::vector<std::size_t> putInterruptedBatchesFirst(std::vector<FileEntry>& entries, const std::string& directory) {
  std::vector<std::size_t> sizes;
  std::size_t front = 0;  // entries before it belong to interrupted posts
  for (const InterruptedPost& post : stateFile().interruptedPosts()) {
    std::size_t files = 0;
    for (const FileIdentity& file : post.files) {
      if (platform::directoryPrefix(file.path) != directory) continue;
      if (leftOutOfInterruptedPost(file)) {
        stateFile().forgetPost({file}, post.leg);
        continue;
      }
      // A file that is no candidate this pass (held, say) waits for a
      // later one; a file of two interrupted posts goes with the first.
      const auto entry = std::find_if(entries.begin() + static_cast<std::ptrdiff_t>(front), entries.end(),
                                      [&](const FileEntry& e) { return directory + e.name == file.path; });
      if (entry == entries.end()) continue;
      std::rotate(entries.begin() + static_cast<std::ptrdiff_t>(front), entry, entry + 1);
      ++front;
      ++files;
    }
    if (files > 0) sizes.push_back(files);
  }
  return sizes;
}

std::size_t collectInterruptedBatch(std::vector<FileEntry>& entries, std::size_t next, const std::string& directory,
                                    std::size_t count, OutgoingBatch& batch) {
  for (; count > 0 && next < entries.size(); --count) {
    if (batch.add(entries[next], directory)) {
      ++next;
    } else {
      entries.erase(entries.begin() + static_cast<std::ptrdiff_t>(next));
    }
  }
  return next;
}

}  // namespace trasvik
