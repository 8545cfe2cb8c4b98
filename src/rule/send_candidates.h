// The candidate files of one send pass of a FILE rule, and when one of them
// is finished with.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "rule/directory_scan.h"

namespace trasvik {

// The files of `directory` (ending with a separator) to try in this pass,
// in the order the scan yields them (see scanDirectory; `sizeLimit` 0 is
// none). Files whose opening failed before are left out; when nothing else
// is left, the oldest such file of the directory is tried again instead.
std::vector<FileEntry> chooseCandidates(const std::string& directory, std::uint64_t sizeLimit);

// True when neither leg has anything left to try: both done, both out of
// tries, or one out of tries and the other done.
bool entryFinished(const FileEntry& entry);

// Drops the finished entries; the order of the others is kept.
void dropFinished(std::vector<FileEntry>& entries);

}  // namespace trasvik
