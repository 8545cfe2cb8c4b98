#include "trasvik/status_command.h"

#include <charconv>
#include <cstdio>
#include <optional>
#include <string>

#include "text/ascii.h"
#include "trasvik/status_report.h"

namespace trasvik {

namespace {

constexpr int kUnknownStatus = static_cast<int>(OverallState::kUnknown);

// A threshold's value: a whole number of 0 or more; false for another text.
bool readThreshold(const std::string& text, std::optional<long long>& value) {
  if (text.empty()) return true;
  long long number = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
  if (error != std::errc() || end != text.data() + text.size() || number < 0) return false;
  value = number;
  return true;
}

}  // namespace

int reportStatus(const CommandLine& commandLine) {
  if (commandLine.ini.empty()) {
    std::printf("TRASVIK UNKNOWN - /status needs /ini:FILE\n");
    return kUnknownStatus;
  }
  StatusThresholds thresholds;
  const struct {
    const char* option;
    const std::string& text;
    std::optional<long long>& value;
  } options[] = {{"warn-age", commandLine.warnAge, thresholds.warnAgeMinutes},
                 {"crit-age", commandLine.critAge, thresholds.critAgeMinutes},
                 {"warn-error", commandLine.warnError, thresholds.warnErrorFiles},
                 {"crit-error", commandLine.critError, thresholds.critErrorFiles},
                 {"stale", commandLine.stale, thresholds.staleMinutes}};
  for (const auto& option : options) {
    if (readThreshold(option.text, option.value)) continue;
    std::printf("TRASVIK UNKNOWN - /%s:%s is no whole number of 0 or more\n", option.option, option.text.c_str());
    return kUnknownStatus;
  }
  const std::string format = text::asciiLowered(commandLine.format.empty() ? "text" : commandLine.format);
  if (format != "text" && format != "json" && format != "prometheus") {
    std::printf("TRASVIK UNKNOWN - /format:%s is none of text, json, prometheus\n", commandLine.format.c_str());
    return kUnknownStatus;
  }
  const StatusReport report = gatherStatus(commandLine.ini, thresholds);
  const std::string output = format == "json"         ? statusJson(report)
                             : format == "prometheus" ? statusPrometheus(report)
                                                      : statusText(report);
  std::fwrite(output.data(), 1, output.size(), stdout);
  std::fflush(stdout);
  return static_cast<int>(report.state);
}

}  // namespace trasvik
