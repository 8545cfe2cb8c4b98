// Moving files and envelopes into directories under names that never
// replace an existing file. A file that another program holds is waited for
// (held_files.h); one still held after the wait is left where it is, with a
// warning, and FileHeld is thrown. Any other failed move is a condition the
// gateway cannot continue from: the fatal record, a can't-continue
// notification, and the exception kMoveFailure, which ends the run.
#pragma once

#include <string>

namespace trasvik {

// Thrown (as an int) after a move failed and was reported.
inline constexpr int kMoveFailure = 666;

// Moves `source` to directory + name, or to the next free name
// (uniqueName) when that exists, also when a file of that name appears
// during the move. Returns the path the file was moved to.
std::string moveFile(const std::string& source, const std::string& directory, const std::string& name);

// Moves `source` to exactly `target`, never replacing a file there (EEXIST
// is a failure like any other).
void moveFileExactly(const std::string& source, const std::string& target);

// Moves `source` under its own name into `destination`: a directory path
// when it has a directory part (a separator, or on Windows a drive), else
// the name of a subdirectory beside the source. The target directory must
// exist.
void moveFileTo(const std::string& source, const std::string& destination);

// Moves the envelope pair sourceBase + envelopeExtension and sourceBase +
// ".001" to directory + nameBase, or to a base no file of any three-letter
// extension uses yet ("name (2)"). The pair moves whole: when its data file
// stays held, the envelope is moved back before FileHeld is thrown. `envelopeExtension` is ".env" as the
// envelope's own name spells it (".ENV" from tools that write upper case),
// which the envelope keeps.
void moveEnvelope(const std::string& sourceBase, const std::string& directory, const std::string& nameBase,
                  const std::string& envelopeExtension = ".env");

}  // namespace trasvik
