// Deleting a delivered outgoing file when the rule keeps no sent copy. A
// file that another program holds is waited for and, still held, left with
// its post on record, so that a later pass deletes it without sending it
// again (FileHeld, held_files.h). Any other failure to delete is a
// condition the gateway cannot continue from.
#pragma once

#include <string>

namespace trasvik {

// How a rule kind reports a condition it cannot continue from: the fatal
// record and a notification (reportCantContinue or reportFatal).
using FatalReport = void (*)(const char* format, ...);

// True, with a warning, when a file that was delivered is no longer there:
// another program removed it after its post. It was sent, so this is no
// reason to stop.
bool deliveredFileVanished(const std::string& ruleName, const std::string& path);

// Deletes the file. A file still held after the lock wait throws FileHeld.
// On any other failure `report` gets "Can't remove file \"%s\", %s"
// (path, errno text) and kMoveFailure (file_moves.h) is thrown.
void deleteDeliveredFile(const std::string& path, FatalReport report);

}  // namespace trasvik
