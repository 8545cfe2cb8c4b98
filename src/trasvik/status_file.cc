#include "trasvik/status_file.h"

#include <algorithm>
#include <charconv>
#include <ctime>
#include <sstream>

#include "platform/atomic_file.h"
#include "platform/file.h"
#include "rule/rule_text.h"
#include "trasvik/gateway_log.h"

namespace trasvik {

namespace {

constexpr char kHeader[] = "trasvik status 1";
// While a pass goes on, the file is renewed at most this often.
constexpr std::int64_t kRefreshSeconds = 5;

std::string path;  // empty: none kept
GatewayStatus current;
bool failureSaid = false;

template <typename Number>
bool readNumber(const std::string& text, Number& value) {
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  return error == std::errc() && end == text.data() + text.size();
}

RuleActivity& activityOf(const std::string& name) {
  const auto found = std::find_if(current.rules.begin(), current.rules.end(),
                                  [&](const RuleActivity& rule) { return rule.name == name; });
  if (found != current.rules.end()) return *found;
  current.rules.push_back({name, 0, 0});
  return current.rules.back();
}

}  // namespace

std::string formatStatus(const GatewayStatus& status) {
  std::ostringstream text;
  text << kHeader << "\n"
       << "pid " << status.processId << "\n"
       << "started " << status.started << "\n"
       << "written " << status.written << "\n"
       << "pass_ended " << status.passEnded << "\n"
       << "waiting_since " << status.waitingSince << "\n"
       << "passes " << status.passes << "\n"
       << "posted " << status.posted << "\n"
       << "received " << status.received << "\n"
       << "rejected " << status.rejected << "\n";
  for (const RuleActivity& rule : status.rules) {
    text << "rule " << rule.lastSent << " " << rule.lastReceived << " " << rule.name << "\n";
  }
  return text.str();
}

bool parseStatus(const std::string& text, GatewayStatus& status) {
  std::istringstream lines(text);
  std::string line;
  if (!std::getline(lines, line) || line != kHeader) return false;
  status = GatewayStatus{};
  while (std::getline(lines, line)) {
    const std::size_t blank = line.find(' ');
    if (blank == std::string::npos) continue;
    const std::string key = line.substr(0, blank);
    const std::string value = line.substr(blank + 1);
    // Rule names may hold blanks: the name ends the line.
    if (key == "rule") {
      const std::size_t second = value.find(' ');
      const std::size_t third = second == std::string::npos ? second : value.find(' ', second + 1);
      if (third == std::string::npos) continue;
      RuleActivity rule;
      rule.name = value.substr(third + 1);
      if (readNumber(value.substr(0, second), rule.lastSent) &&
          readNumber(value.substr(second + 1, third - second - 1), rule.lastReceived)) {
        status.rules.push_back(std::move(rule));
      }
      continue;
    }
    if (key == "pid") readNumber(value, status.processId);
    if (key == "started") readNumber(value, status.started);
    if (key == "written") readNumber(value, status.written);
    if (key == "pass_ended") readNumber(value, status.passEnded);
    if (key == "waiting_since") readNumber(value, status.waitingSince);
    if (key == "passes") readNumber(value, status.passes);
    if (key == "posted") readNumber(value, status.posted);
    if (key == "received") readNumber(value, status.received);
    if (key == "rejected") readNumber(value, status.rejected);
  }
  return true;
}

std::string statusPathFor(const std::string& statePath) {
  constexpr std::string_view kState = ".state";
  if (statePath.ends_with(kState)) return statePath.substr(0, statePath.size() - kState.size()) + ".status";
  return statePath + ".status";
}

void openStatusFile(const std::string& statusPath, int processId) {
  path = statusPath;
  current = GatewayStatus{};
  std::string text;
  GatewayStatus before;
  if (platform::readWholeFile(path, text) == 0 && parseStatus(text, before)) current.rules = before.rules;
  current.processId = processId;
  current.started = static_cast<std::int64_t>(std::time(nullptr));
  refreshStatusFile(true);
}

GatewayStatus& gatewayStatus() { return current; }

void noteSent(const std::string& name) { activityOf(name).lastSent = static_cast<std::int64_t>(std::time(nullptr)); }

void noteReceived(const std::string& name) {
  activityOf(name).lastReceived = static_cast<std::int64_t>(std::time(nullptr));
}

void closeStatusFile() {
  if (path.empty()) return;
  current.processId = 0;
  refreshStatusFile(true);
  path.clear();
}

void refreshStatusFile(bool force) {
  if (path.empty()) return;
  const auto now = static_cast<std::int64_t>(std::time(nullptr));
  if (!force && now - current.written < kRefreshSeconds) return;
  current.written = now;
  const int error = platform::replaceFileAtomically(path, formatStatus(current), platform::Durability::kAdvisory);
  if (error == 0) {
    failureSaid = false;
  } else if (!failureSaid) {
    failureSaid = true;
    GATEWAY_WARNING("Can't write status file \"%s\", %s; /status may take the gateway for hung", path.c_str(),
                    errnoText(error).c_str());
  }
}

}  // namespace trasvik
