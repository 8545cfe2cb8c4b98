#include "rule/file_moves.h"

#include <cerrno>
#include <optional>

#include "platform/file.h"
#include "platform/path.h"
#include "rule/directories.h"
#include "rule/held_files.h"
#include "rule/rule_text.h"
#include "trasvik/notification.h"

namespace trasvik {

namespace {

[[noreturn]] void failMove(const char* what, const std::string& source, const std::string& target, int error) {
  if (isHoldError(error)) leaveHeldFile(source, "moved to \"" + platform::directoryPrefix(target) + "\"", error);
  // The side that cannot be reached now is named; else the target, which
  // is more often the share.
  platform::FileFacts facts;
  const std::string sourceDirectory = platform::directoryPrefix(source);
  const std::string directory =
      platform::fileFacts(sourceDirectory, facts) != 0 ? sourceDirectory : platform::directoryPrefix(target);
  if (isUnreachableVolume(error, directory)) leaveUnreachableVolume(directory, error);
  reportCantContinue("Can't rename %s \"%s\" to \"%s\", %s", what, source.c_str(), target.c_str(),
                     errnoText(error).c_str());
  throw kMoveFailure;
}

// platform::moveFile, waiting while another program holds the file.
int moveWhileHeld(const std::string& source, const std::string& target) {
  const int error = retryWhileHeld(source, [&] { return platform::moveFile(source, target); });
  if (error == 0) {
    heldFileReleased(source);
    volumeReached(platform::directoryPrefix(source));
    volumeReached(platform::directoryPrefix(target));
  }
  return error;
}

}  // namespace

std::string moveFile(const std::string& source, const std::string& directory, const std::string& name) {
  for (unsigned k = 1;; ++k) {
    std::string target = candidateName(directory, name, k);
    if (platform::pathExists(target)) continue;  // literally: "*.txt" is a name, not a pattern
    const int error = moveWhileHeld(source, target);
    if (error == 0) return target;
    // A file of that name appeared after the test: the move never replaces
    // it, and takes the next free name instead.
    if (error != EEXIST) failMove("file", source, target, error);
  }
}

void moveFileExactly(const std::string& source, const std::string& target) {
  const int error = moveWhileHeld(source, target);
  if (error != 0) failMove("file", source, target, error);
}

void moveFileTo(const std::string& source, const std::string& destination) {
  const std::optional<std::string> absolute = platform::absolutePath(source);
  if (!absolute) failMove("file", source, destination, ENAMETOOLONG);
  const std::string name = platform::baseName(*absolute);
  const std::string directory = !platform::directoryPrefix(destination).empty()
                                    ? platform::withTrailingSeparator(destination)
                                    : platform::withTrailingSeparator(platform::directoryPrefix(*absolute) + destination);
  moveFile(source, directory, name);
}

void moveEnvelope(const std::string& sourceBase, const std::string& directory, const std::string& nameBase,
                  const std::string& envelopeExtension) {
  // uniqueName of "base.???" gives "base (k).???"; the pattern's last four
  // characters are dropped again.
  const std::string pattern = nameBase + ".???";
  std::string targetBase = directory + nameBase;
  if (fileExists(directory + pattern)) {
    targetBase = uniqueName(directory, pattern);
    targetBase.resize(targetBase.size() - 4);
  }
  const std::string envelope = sourceBase + envelopeExtension;
  const std::string data = sourceBase + ".001";
  if (const int error = moveWhileHeld(envelope, targetBase + envelopeExtension)) {
    failMove("envelope", envelope, targetBase + envelopeExtension, error);
  }
  if (const int error = moveWhileHeld(data, targetBase + ".001")) {
    // A pair moves whole or not at all: the envelope goes back beside its
    // data file, and the pair waits for a later pass.
    if (isHoldError(error) && platform::moveFile(targetBase + envelopeExtension, envelope) == 0) {
      leaveHeldFile(data, "moved to \"" + directory + "\"", error);
    }
    failMove("envelope", data, targetBase + ".001", error);
  }
}

}  // namespace trasvik
