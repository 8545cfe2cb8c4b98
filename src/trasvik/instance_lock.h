// One gateway per INI file: two gateways on the same directories and state
// would send files twice and fight over their moves. The lock is a file
// beside the state file, held for the whole run and let go of by the system
// when the process ends, however it ends.
#pragma once

#include <string>

namespace trasvik {

// The lock file of a state file path.
std::string instanceLockPath(const std::string& statePath);

// Why the lock file at `lockPath` could not be taken: another gateway holds
// it (`error` EWOULDBLOCK, `holder` its process id as it wrote it), or the
// file could not be used.
std::string lockRefusal(const std::string& lockPath, int error, const std::string& holder);

// Takes the lock beside `statePath` for the rest of the process and writes
// this process's id into it. False after a fatal record naming the process
// that holds it, or why the lock file could not be used.
bool lockInstance(const std::string& statePath);

}  // namespace trasvik
