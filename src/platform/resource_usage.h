// Peak memory use, for the tests and benchmarks that check that large files
// are converted in memory that does not grow with their size. Thread-safe.
#pragma once

#include <cstdint>

namespace platform {

// Largest resident set of this program so far, in KiB (0 when unknown).
// Counts only the memory of the running program image: a process started by
// a spawn that briefly shared its parent's memory is not charged with the
// parent's peak, which the kernel's rusage figure would include.
std::uint64_t peakResidentKibOfSelf();

}  // namespace platform
