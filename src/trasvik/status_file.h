// The gateway's status file: a few lines beside its state file that say
// how it is doing, for `/status` to read without disturbing it. The
// gateway replaces it whole (a new file renamed over it) at the end of
// each pass and every few seconds while a long step or a wait for the
// service goes on; it is advisory, so nothing waits for the disk. What
// each rule last sent and received is carried over from the file of the
// run before. Main thread only.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace trasvik {

struct RuleActivity {
  std::string name;
  std::int64_t lastSent = 0;      // seconds since the epoch; 0: never
  std::int64_t lastReceived = 0;
};

struct GatewayStatus {
  int processId = 0;
  std::int64_t started = 0;       // seconds since the epoch
  std::int64_t written = 0;       // when the file was last written
  std::int64_t passEnded = 0;     // 0: no pass finished yet
  std::int64_t waitingSince = 0;  // 0: not waiting for the service
  unsigned long long passes = 0;
  unsigned long long posted = 0;  // files, since the start
  unsigned long long received = 0;
  unsigned long long rejected = 0;
  std::vector<RuleActivity> rules;
};

// The file's text, and back (false for a text that is no status file).
std::string formatStatus(const GatewayStatus& status);
bool parseStatus(const std::string& text, GatewayStatus& status);

// The status file beside the state file at `statePath`: its name with
// ".status" in place of ".state" (or added).
std::string statusPathFor(const std::string& statePath);

// The gateway's own status file from now on (`path`), taking over what the
// rules did in the run before.
void openStatusFile(const std::string& path, int processId);
// The running gateway's facts, which the pass and the rules update.
GatewayStatus& gatewayStatus();
// The rule `name` posted a file, or saved a message's file.
void noteSent(const std::string& name);
void noteReceived(const std::string& name);
// The gateway ends: the file says that no process of it runs, and keeps
// what the rules did for the next run.
void closeStatusFile();
// Replaces the file when `force`, or when it is a few seconds old. A
// failure to write is said once, as a warning, and never stops anything.
void refreshStatusFile(bool force);

}  // namespace trasvik
