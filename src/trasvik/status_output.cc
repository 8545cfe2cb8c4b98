// The three forms of /status: a table for people whose first line is a
// monitoring plugin's, JSON (schema 1), and the Prometheus text format.
#include <algorithm>
#include <ctime>
#include <optional>
#include <string>

#include "platform/clock.h"
#include "platform/code_page.h"
#include "platform/path.h"
#include "trasvik/status_report.h"
#include "trasvik/text_format.h"

namespace trasvik {

namespace {

unsigned long long totalWaiting(const StatusReport& report) {
  unsigned long long files = 0;
  for (const RuleStatus& rule : report.rules) files += rule.waitingFiles;
  return files;
}

unsigned long long totalErrors(const StatusReport& report) {
  unsigned long long files = 0;
  for (const RuleStatus& rule : report.rules) files += rule.errorFiles;
  return files;
}

long long oldestWaiting(const StatusReport& report) {
  long long oldest = 0;
  for (const RuleStatus& rule : report.rules) oldest = std::max(oldest, rule.oldestWaitingAge.value_or(0));
  return oldest;
}

// Names and paths are in the system's code page (on Windows the ANSI one):
// JSON and Prometheus want UTF-8.
std::string utf8(const std::string& text) {
  std::string converted;
  return platform::utf8FromAnsi(text, converted) ? converted : text;
}

std::string localTime(std::int64_t seconds, const char* format) {
  const std::tm local = platform::localTimeOf(static_cast<std::time_t>(seconds));
  char text[32];
  return std::strftime(text, sizeof text, format, &local) != 0 ? text : "";
}

// "45s", "12m", "3h05m", "2d04h".
std::string ageText(long long seconds) {
  if (seconds < 60) return formatText("%llds", seconds);
  if (seconds < 3600) return formatText("%lldm", seconds / 60);
  if (seconds < 86400) return formatText("%lldh%02lldm", seconds / 3600, seconds % 3600 / 60);
  return formatText("%lldd%02lldh", seconds / 86400, seconds % 86400 / 3600);
}

std::string optionalAge(const std::optional<long long>& age) { return age ? ageText(*age) : "-"; }

std::string whenText(std::int64_t seconds) { return seconds == 0 ? "-" : localTime(seconds, "%m-%d %H:%M"); }

// Digits in groups of three: 1 234 567.
std::string grouped(unsigned long long number) {
  std::string digits = std::to_string(number);
  for (int at = static_cast<int>(digits.size()) - 3; at > 0; at -= 3) digits.insert(static_cast<std::size_t>(at), " ");
  return digits;
}

std::string jsonString(const std::string& text) {
  std::string result = "\"";
  for (const char c : utf8(text)) {
    switch (c) {
      case '"': result += "\\\""; break;
      case '\\': result += "\\\\"; break;
      case '\n': result += "\\n"; break;
      case '\r': result += "\\r"; break;
      case '\t': result += "\\t"; break;
      default:
        if (static_cast<unsigned char>(c) < 0x20) {
          result += formatText("\\u%04x", static_cast<unsigned>(c));
        } else {
          result += c;
        }
    }
  }
  return result + "\"";
}

// ISO 8601 in UTC with its offset; null for 0.
std::string jsonTime(std::int64_t seconds) {
  if (seconds == 0) return "null";
  const std::time_t time = static_cast<std::time_t>(seconds);
  const std::tm* utc = std::gmtime(&time);
  char text[40];
  if (utc == nullptr || std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S+00:00", utc) == 0) return "null";
  return std::string("\"") + text + "\"";
}

std::string jsonNumber(const std::optional<long long>& value) { return value ? std::to_string(*value) : "null"; }

std::string labelValue(const std::string& text) {
  std::string result;
  for (const char c : utf8(text)) {
    if (c == '\\') {
      result += "\\\\";
    } else if (c == '"') {
      result += "\\\"";
    } else if (c == '\n') {
      result += "\\n";
    } else {
      result += c;
    }
  }
  return result;
}

// A table row without the blanks that pad its last column.
std::string trimmed(std::string line) {
  while (line.size() > 1 && line[line.size() - 2] == ' ') line.erase(line.size() - 2, 1);
  return line;
}

}  // namespace

std::string statusText(const StatusReport& report) {
  const unsigned long long waiting = totalWaiting(report);
  const unsigned long long errors = totalErrors(report);
  if (!report.failure.empty()) return "TRASVIK UNKNOWN - " + report.failure + "\n";
  std::string text = formatText("TRASVIK %s - %llu waiting, %llu in error", stateName(report.state), waiting, errors);
  for (const std::string& reason : report.reasons) text += "; " + reason;
  text += formatText(" | waiting=%llu;;; oldest_age=%llds;;; error=%llu;;;\n", waiting, oldestWaiting(report), errors);

  text += "Gateway   ";
  if (!report.running) {
    text += "not running";
  } else {
    text += formatText("running, process %d", report.processId);
    if (report.statusKnown) {
      text += ", started " + localTime(report.gateway.started, "%Y-%m-%d %H:%M:%S");
      text += report.gateway.passEnded == 0
                  ? ", no pass finished yet"
                  : ", last pass " + localTime(report.gateway.passEnded, "%H:%M:%S") + " (" +
                        ageText(report.now - report.gateway.passEnded) + " ago)";
      if (report.hung) text += ", HUNG";
    }
  }
  text += "\nService   " + report.serviceAddress +
          (report.serviceUnreachable.empty() ? " answers" : " not reachable: " + report.serviceUnreachable);
  if (report.running && report.statusKnown && report.gateway.waitingSince != 0) {
    text += "; the gateway waits for it since " + localTime(report.gateway.waitingSince, "%Y-%m-%d %H:%M:%S");
  }
  text += "\n";
  if (report.running && report.statusKnown) {
    text += formatText("Totals    %llu posted, %llu received, %llu rejected since the start\n", report.gateway.posted,
                       report.gateway.received, report.gateway.rejected);
  }
  text += trimmed(formatText("\n%-16s %-4s %7s %9s %7s %7s %6s %7s %-11s %-11s\n", "Rule", "Kind", "Waiting", "Bytes",
                     "Oldest", "Unmoved", "Errors", "Newest", "Last sent", "Last recvd"));
  for (const RuleStatus& rule : report.rules) {
    const bool sends = !rule.outgoing.empty();
    text += trimmed(formatText("%-16s %-4s %7s %9s %7s %7s %6s %7s %-11s %-11s\n", rule.name.substr(0, 16).c_str(),
                       rule.kind.c_str(),
                       !sends ? "-" : rule.outgoingReadable ? std::to_string(rule.waitingFiles).c_str() : "?",
                       sends ? grouped(rule.waitingBytes).c_str() : "-",
                       sends ? optionalAge(rule.oldestWaitingAge).c_str() : "-",
                       sends ? std::to_string(rule.postedUnmoved).c_str() : "-",
                       rule.errorDirectory.empty() ? "-" : std::to_string(rule.errorFiles).c_str(),
                       optionalAge(rule.newestErrorAge).c_str(), whenText(rule.lastSent).c_str(),
                       whenText(rule.lastReceived).c_str()));
  }
  return text;
}

std::string statusJson(const StatusReport& report) {
  const GatewayStatus& g = report.gateway;
  const bool known = report.running && report.statusKnown;
  std::string json = "{\n  \"schema\": 1,\n  \"state\": " + jsonString(stateName(report.state)) + ",\n  \"reasons\": [";
  for (std::size_t i = 0; i < report.reasons.size(); ++i) json += (i ? ", " : "") + jsonString(report.reasons[i]);
  json += "],\n  \"checked_at\": " + jsonTime(report.now) + ",\n";
  json += "  \"gateway\": {\n    \"ini\": " + jsonString(report.iniPath) + ",\n";
  json += std::string("    \"running\": ") + (report.running ? "true" : "false") + ",\n";
  json += "    \"pid\": " + (report.running ? std::to_string(report.processId) : std::string("null")) + ",\n";
  json += std::string("    \"hung\": ") + (report.hung ? "true" : "false") + ",\n";
  json += "    \"started\": " + (known ? jsonTime(g.started) : "null") + ",\n";
  json += "    \"last_pass\": " + (known ? jsonTime(g.passEnded) : "null") + ",\n";
  json += "    \"status_written\": " + (known ? jsonTime(g.written) : "null") + ",\n";
  json += "    \"waiting_for_service_since\": " + (known ? jsonTime(g.waitingSince) : "null") + ",\n";
  json += "    \"service\": {\"address\": " + jsonString(report.serviceAddress) +
          ", \"answers\": " + (report.serviceUnreachable.empty() ? "true" : "false") + ", \"error\": " +
          (report.serviceUnreachable.empty() ? "null" : jsonString(report.serviceUnreachable)) + "},\n";
  json += "    \"totals\": " +
          (known ? formatText("{\"posted\": %llu, \"received\": %llu, \"rejected\": %llu}", g.posted, g.received,
                              g.rejected)
                 : std::string("null")) +
          "\n  },\n  \"rules\": [";
  for (std::size_t i = 0; i < report.rules.size(); ++i) {
    const RuleStatus& rule = report.rules[i];
    const bool sends = !rule.outgoing.empty() && rule.outgoingReadable;
    json += std::string(i ? "," : "") + "\n    {\"name\": " + jsonString(rule.name) + ", \"kind\": " +
            jsonString(rule.kind) + ",\n     \"waiting\": " +
            (sends ? formatText("{\"files\": %llu, \"bytes\": %llu, \"oldest_age_s\": %s}", rule.waitingFiles,
                                rule.waitingBytes, jsonNumber(rule.oldestWaitingAge).c_str())
                   : std::string("null")) +
            ", \"posted_unmoved\": " + (sends ? std::to_string(rule.postedUnmoved) : std::string("null")) +
            ",\n     \"error\": " +
            (rule.errorDirectory.empty()
                 ? std::string("null")
                 : formatText("{\"files\": %llu, \"newest_age_s\": %s}", rule.errorFiles,
                              jsonNumber(rule.newestErrorAge).c_str())) +
            ",\n     \"last_sent\": " + jsonTime(rule.lastSent) + ", \"last_received\": " +
            jsonTime(rule.lastReceived) + "}";
  }
  json += report.rules.empty() ? "]\n}\n" : "\n  ]\n}\n";
  return json;
}

std::string statusPrometheus(const StatusReport& report) {
  const std::string gateway = "gateway=\"" + labelValue(platform::stemName(report.iniPath)) + "\"";
  std::string text;
  const auto family = [&](const char* name, const char* type, const char* help) {
    text += formatText("# HELP %s %s\n# TYPE %s %s\n", name, help, name, type);
  };
  const auto sample = [&](const char* name, const std::string& labels, long double value) {
    text += formatText("%s{%s} %.0Lf\n", name, labels.c_str(), value);
  };
  family("trasvik_state", "gauge", "The overall state: 0 OK, 1 WARNING, 2 CRITICAL, 3 UNKNOWN.");
  sample("trasvik_state", gateway, static_cast<int>(report.state));
  if (!report.failure.empty()) return text;
  const bool known = report.running && report.statusKnown;
  family("trasvik_up", "gauge", "1 when a gateway runs on the INI file.");
  sample("trasvik_up", gateway, report.running ? 1 : 0);
  family("trasvik_hung", "gauge", "1 when the running gateway has not moved on within its bound.");
  sample("trasvik_hung", gateway, report.hung ? 1 : 0);
  family("trasvik_service_up", "gauge", "1 when the document-exchange service answers now.");
  sample("trasvik_service_up", gateway, report.serviceUnreachable.empty() ? 1 : 0);
  if (known) {
    family("trasvik_waiting_for_service", "gauge", "1 while the gateway waits for the service.");
    sample("trasvik_waiting_for_service", gateway, report.gateway.waitingSince != 0 ? 1 : 0);
    if (report.gateway.passEnded != 0) {
      family("trasvik_last_pass_timestamp_seconds", "gauge", "When the gateway last finished a pass.");
      sample("trasvik_last_pass_timestamp_seconds", gateway, report.gateway.passEnded);
    }
    family("trasvik_posted_files_total", "counter", "Files posted since the gateway started.");
    sample("trasvik_posted_files_total", gateway, report.gateway.posted);
    family("trasvik_received_messages_total", "counter", "Messages received since the gateway started.");
    sample("trasvik_received_messages_total", gateway, report.gateway.received);
    family("trasvik_rejected_messages_total", "counter", "Messages rejected since the gateway started.");
    sample("trasvik_rejected_messages_total", gateway, report.gateway.rejected);
  }
  const auto perRule = [&](const char* name, const char* type, const char* help, auto value) {
    bool any = false;
    for (const RuleStatus& rule : report.rules) {
      const std::optional<long double> v = value(rule);
      if (!v) continue;
      if (!any) family(name, type, help);
      any = true;
      sample(name, gateway + ",rule=\"" + labelValue(rule.name) + "\",kind=\"" + rule.kind + "\"", *v);
    }
  };
  using Value = std::optional<long double>;
  const auto sends = [](const RuleStatus& rule) { return !rule.outgoing.empty() && rule.outgoingReadable; };
  perRule("trasvik_waiting_files", "gauge", "Files waiting in the rule's outgoing directory.",
          [&](const RuleStatus& r) { return sends(r) ? Value(r.waitingFiles) : Value(); });
  perRule("trasvik_waiting_bytes", "gauge", "Bytes of the files waiting in the rule's outgoing directory.",
          [&](const RuleStatus& r) { return sends(r) ? Value(r.waitingBytes) : Value(); });
  perRule("trasvik_oldest_waiting_age_seconds", "gauge", "Age of the oldest waiting file.",
          [&](const RuleStatus& r) { return sends(r) ? Value(r.oldestWaitingAge.value_or(0)) : Value(); });
  perRule("trasvik_posted_unmoved_files", "gauge", "Files posted and not yet moved on.",
          [&](const RuleStatus& r) { return sends(r) ? Value(r.postedUnmoved) : Value(); });
  perRule("trasvik_error_files", "gauge", "Files in the rule's error directory.",
          [&](const RuleStatus& r) { return r.errorDirectory.empty() ? Value() : Value(r.errorFiles); });
  perRule("trasvik_newest_error_age_seconds", "gauge", "Age of the newest file in the error directory.",
          [&](const RuleStatus& r) { return r.newestErrorAge ? Value(*r.newestErrorAge) : Value(); });
  perRule("trasvik_last_sent_timestamp_seconds", "gauge", "When the rule last posted a file.",
          [&](const RuleStatus& r) { return r.lastSent != 0 ? Value(r.lastSent) : Value(); });
  perRule("trasvik_last_received_timestamp_seconds", "gauge", "When the rule last saved a received file.",
          [&](const RuleStatus& r) { return r.lastReceived != 0 ? Value(r.lastReceived) : Value(); });
  return text;
}

}  // namespace trasvik
