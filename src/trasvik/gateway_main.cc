#include "trasvik/gateway_main.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <functional>
#include <memory>
#include <string_view>
#include <utility>
#include <vector>

#include "dravont/dravontdll.h"
#include "platform/code_page.h"
#include "platform/console.h"
#include "platform/file.h"
#include "platform/path.h"
#include "platform/thread.h"
#include "platform/windows_service.h"
#include "rule/held_files.h"
#include "rule/rule.h"
#include "text/ascii.h"
#include "trasvik/alarms.h"
#include "trasvik/configuration_check.h"
#include "trasvik/debug_log.h"
#include "trasvik/gateway_log.h"
#include "trasvik/ini_encoding.h"
#include "trasvik/instance_lock.h"
#include "trasvik/notification.h"
#include "trasvik/receive_cycle.h"
#include "trasvik/session.h"
#include "trasvik/service_mode.h"
#include "trasvik/session_start.h"
#include "trasvik/settings.h"
#include "trasvik/state_file.h"
#include "trasvik/status_file.h"
#include "trasvik/status_command.h"
#include "trasvik/stop_control.h"
#include "trasvik/supervision.h"
#include "trasvik/text_format.h"

namespace trasvik {

namespace {

constexpr char kUsage[] = "Usage: Trasvik /ini:inifilename [/dir:directory]\n";
constexpr char kVersion[] = TRASVIK_VERSION;
// The text of /help after the usage line: the options, then what differs
// between the systems (the service options, how it is stopped, where the
// docs are).
constexpr char kHelpIntro[] =
    "\n"
    "Sends the files of outgoing directories as messages through the local\n"
    "document-exchange service and saves received messages into incoming\n"
    "directories, as the rules of the INI file say, pass after pass until it\n"
    "is stopped or has made the passes the INI file sets.\n"
    "\n"
    "Options (\"/\" or \"-\", in any case):\n"
    "  /ini:FILE    the INI file of settings and rules (required)\n"
    "  /dir:DIR     the working directory, made current before anything else\n"
    "  /check       report on the configuration and the service; send nothing\n"
    "  /supervised  run by a service manager: wait out an outage of the service\n"
    "               however long it lasts instead of ending with 13\n"
    "  /status      how the gateway of /ini:FILE is doing; /format:text|json|prometheus,\n"
    "               /warn-age:MIN /crit-age:MIN /warn-error:N /crit-error:N /stale:MIN;\n"
    "               exit status 0 OK, 1 WARNING, 2 CRITICAL, 3 UNKNOWN\n";
constexpr char kWindowsOptions[] =
    "  /install     install the gateway of /ini:FILE as a Windows service;\n"
    "               with /name:NAME (default Trasvik-<INI name>), /user:ACCOUNT\n"
    "               and /depend:SERVICE (repeatable)\n"
    "  /uninstall   stop and remove that service (/name:NAME or /ini:FILE)\n";
constexpr char kHelpEnd[] =
    "  /version     print the version\n"
    "  /help, /?    print this text\n"
    "\n"
    "Exit status: 0 after an orderly stop, 13 when it cannot start.\n";
constexpr char kPosixStopAndDocs[] =
    "It stops in order on Ctrl+C or SIGTERM.\n"
    "Documentation: docs/running.md and docs/configuration.md (installed in\n"
    "share/doc/trasvik).\n";
constexpr char kWindowsStopAndDocs[] =
    "It stops in order on Ctrl+C, the closing of its window, or a stop of its\n"
    "service.\n"
    "Documentation: docs\\windows.md, docs\\running.md and\n"
    "docs\\configuration.md in the gateway's folder.\n";
constexpr char kTitle[] = "Технологический участок ПКВ";

int runConfigured(const CommandLine& commandLine);

std::function<void()>& startObserver() {
  static std::function<void()> observer;
  return observer;
}
// How a session or the cycle ended.
enum class Outcome {
  kStopped,   // console event or the pass limit: exit status 0
  kFatal,     // a condition the gateway cannot continue from: 13
  kRestart,   // the service session was lost: start it again
};

// Collects and dispatches incoming messages. False when a message made the
// gateway stop for a condition it cannot continue from.
bool collectPhase(const RuleList& rules) {
  GatewaySettings& s = settings();
  unsigned& received = passCounts().received;
  unsigned& rejected = passCounts().rejected;
  for (;;) {
    unsigned fetched = s.ncollect;
    Quillex::DravontMessage_s* messages = nullptr;
    const auto started = std::chrono::steady_clock::now();
    if (Quillex::DravontCollect(&s.receiveUrl, nullptr, &fetched, &messages) != 0) {
      const std::string error = lastError();
      GATEWAY_ERROR("Error in Quillex::DravontCollect(), %s", error.c_str());
      return true;
    }
    GATEWAY_DEBUG("Collected %u message(s) in %s s", fetched,
                  secondsText(std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count()).c_str());
    // The array belongs to the gateway whatever happens to its messages.
    const std::unique_ptr<Quillex::DravontMessage_s, void (*)(void*)> owned(messages, std::free);
    unsigned next = 0;
    int result = kDispatchAccepted;
    while (next < fetched && !stopRequested() && result != kDispatchStop && result != kDispatchDeferred) {
      result = dispatchMessage(messages[next++], rules);
      if (result == kDispatchAccepted) ++received;
      if (result == kDispatchRejected) ++rejected;
      keepAlive();
    }
    // Messages left undispatched by a stop are handed back, still
    // unconfirmed (the one that made the gateway stop too).
    for (unsigned i = result == kDispatchStop ? next - 1 : next; i < fetched; ++i) {
      Quillex::FreeDravontMessage(&messages[i]);
    }
    if (result == kDispatchStop) {
      requestStop();
      return false;
    }
    // A message left for a later pass would be collected again at once.
    if (result == kDispatchDeferred) break;
    if (!(received + rejected < s.switchafter && s.ncollect != 0 && fetched >= s.ncollect && !stopRequested())) break;
  }
  GATEWAY_INFO("messages: %u received, %u rejected", received, rejected);
  runCounts().received += received;
  runCounts().rejected += rejected;
  passCounts() = PassCounts{};
  return true;
}

void sendPhase(const RuleList& rules) {
  unsigned count = 0;
  for (const std::unique_ptr<Rule>& rule : rules) {
    if (stopRequested()) return;
    try {
      count = rule->send(count);
    } catch (const VolumeUnreachable&) {
      // Warned about: the rule tries again next pass, the others go on.
    }
    keepAlive();
    if (count >= settings().switchafter) return;
  }
}

// Sleeps between passes, telling the watchdog now and then that the
// gateway lives; true when a stop came.
bool sleepBetweenPasses(unsigned milliseconds) {
  constexpr unsigned kStep = 10000;
  for (unsigned slept = 0; slept < milliseconds || milliseconds == 0; slept += kStep) {
    if (waitForStop(std::min(kStep, milliseconds - slept))) return true;
    keepAlive();
    if (milliseconds == 0) break;
  }
  return false;
}

Outcome mainCycle(const RuleList& rules) {
  int passesLeft = settings().loops;
  for (;;) {
    if (stopRequested()) return Outcome::kStopped;
    if (!collectPhase(rules)) return Outcome::kFatal;
    sendPhase(rules);
    stateFile().flush();
    passFinished();
    checkAlarms();
    if (passesLeft != 0 && --passesLeft == 0) return Outcome::kStopped;
    if (sleepBetweenPasses(settings().sleeptime)) return Outcome::kStopped;
  }
}

// When the service session was last lost, until it is open again.
struct LostSession {
  bool lost = false;
  std::chrono::steady_clock::time_point at{};
};

// One service session: start it and cycle; a session opened again after
// it was lost says so. Exceptions other than a lost session end the run as
// a condition the gateway cannot continue from.
Outcome runSession(RuleList& rules, bool& started, LostSession& lostSession) {
  try {
    started = startSession(rules);
    if (!started) {
      // A stop while it waited for the service closed nothing: the run
      // ends in order.
      if (!stopRequested() || serviceContext() != nullptr) return Outcome::kFatal;
      started = true;
      return Outcome::kStopped;
    }
    announceReady();
    startHangWatch(settings().sleeptime);
    if (const std::function<void()> observer = std::exchange(startObserver(), nullptr)) observer();
    if (lostSession.lost) {
      const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - lostSession.at);
      GATEWAY_INFO("session reopened after %lld s", static_cast<long long>(seconds.count()));
      lostSession.lost = false;
    }
    return mainCycle(rules);
  } catch (const ContextError&) {
    return Outcome::kRestart;
  } catch (const CriticalAbort&) {
    // The critical record says why.
  } catch (const std::exception& error) {
    GATEWAY_FATAL("Trasvik stops: %s", error.what());
  } catch (const int code) {
    GATEWAY_FATAL("Trasvik stops after error %d", code);
  } catch (...) {
    GATEWAY_FATAL("Trasvik stops after an unknown exception");
  }
  started = true;
  return Outcome::kFatal;
}

// The state file named by "[trasvik]:statefile", by default beside the
// INI file under its name; "none" keeps none (a crash
// may then deliver a file twice). The instance lock goes beside it (beside
// the default one for "none"). False after the fatal record.
bool openStateFile(const CommandLine& commandLine) {
  const auto [path, formerPath, none] = stateFileSetting(commandLine.ini);
  // Locked before the state is read: the state belongs to the one gateway.
  if (!lockInstance(path)) return false;
  if (!none) takeOverFormerStateFile(formerPath, path);
  if (none) {
    GATEWAY_WARNING("No state file ([trasvik]:statefile=none): a crash may deliver a file twice");
    return true;
  }
  std::string error;
  if (!stateFile().open(path, error)) {
    GATEWAY_FATAL("Can't read state file \"%s\", %s", path.c_str(), error.c_str());
    return false;
  }
  GATEWAY_INFO("State file: \"%s\"", path.c_str());
  return true;
}

// The status file goes beside the state file (beside its default place
// when the gateway keeps none).
void openGatewayStatusFile(const CommandLine& commandLine) {
  openStatusFile(statusPathFor(stateFileSetting(commandLine.ini).path), platform::currentProcessId());
}

void logStartFacts(const CommandLine& commandLine) {
  platform::setConsoleTitle(kTitle);
  GATEWAY_INFO("Trasvik %s", kVersion);
  if (const std::optional<std::string> module = platform::executablePath()) {
    // The log holds the system's texts (paths) in its code page, and so the
    // title as well: one encoding in every record (a code page without its
    // letters shows '?' for them).
    std::string title;
    platform::ansiFromUtf8(kTitle, title);
    GATEWAY_INFO("%s. Module Name: \"%s\"", title.c_str(), module->c_str());
  }
  if (const std::optional<std::string> directory = platform::currentDirectory()) {
    GATEWAY_INFO("IniFileName: \"%s\", Working Directory: \"%s\"", commandLine.ini.c_str(), directory->c_str());
  }
  // Names and texts are bytes in this code page (docs/windows.md).
  GATEWAY_INFO("Code page: %s", platform::codePageDescription().c_str());
  if (const std::string encoding = iniEncodingName(); !encoding.empty()) {
    GATEWAY_INFO("INI file read as %s", encoding.c_str());
  }
}

// A value the code page cannot write would be used with '?' in its place
// (a directory, an address that is not the one meant): the gateway does
// not start. False after a fatal record per such value.
bool iniTextsWritable() {
  const std::vector<std::string> refused = iniTextsRefused();
  for (const std::string& text : refused) {
    GATEWAY_FATAL("%s: save the INI file in that code page or change the value", text.c_str());
  }
  return refused.empty();
}

}  // namespace

CommandLine parseCommandLine(int argc, const char* const* argv) {
  CommandLine result;
  for (int i = 1; i < argc; ++i) {
    const std::string_view argument = argv[i];
    if (argument.empty() || (argument[0] != '/' && argument[0] != '-')) continue;
    const std::size_t colon = argument.find(':');
    const std::string_view name = colon == std::string_view::npos ? std::string_view() : argument.substr(1, colon - 1);
    std::string* target = nullptr;
    bool adds = false;
    if (text::equalsIgnoringAsciiCase(name, "ini")) target = &result.ini;
    if (text::equalsIgnoringAsciiCase(name, "dir")) target = &result.directory;
    if (text::equalsIgnoringAsciiCase(name, "name")) target = &result.serviceName;
    if (text::equalsIgnoringAsciiCase(name, "user")) target = &result.account;
    if (text::equalsIgnoringAsciiCase(name, "service")) target = &result.runService;
    if (text::equalsIgnoringAsciiCase(name, "format")) target = &result.format;
    if (text::equalsIgnoringAsciiCase(name, "warn-age")) target = &result.warnAge;
    if (text::equalsIgnoringAsciiCase(name, "crit-age")) target = &result.critAge;
    if (text::equalsIgnoringAsciiCase(name, "warn-error")) target = &result.warnError;
    if (text::equalsIgnoringAsciiCase(name, "crit-error")) target = &result.critError;
    if (text::equalsIgnoringAsciiCase(name, "stale")) target = &result.stale;
    if (text::equalsIgnoringAsciiCase(name, "depend")) {
      target = &result.dependencies.emplace_back();
      adds = true;
    }
    if (target == nullptr) {
      std::string_view word = argument.substr(argument.size() > 1 && argument.substr(0, 2) == "--" ? 2 : 1);
      if (word == "?" || text::equalsIgnoringAsciiCase(word, "help")) {
        result.help = true;
      } else if (text::equalsIgnoringAsciiCase(word, "version")) {
        result.version = true;
      } else if (text::equalsIgnoringAsciiCase(word, "check")) {
        result.check = true;
      } else if (text::equalsIgnoringAsciiCase(word, "supervised")) {
        result.supervised = true;
      } else if (text::equalsIgnoringAsciiCase(word, "status")) {
        result.status = true;
      } else if (text::equalsIgnoringAsciiCase(word, "install")) {
        result.install = true;
      } else if (text::equalsIgnoringAsciiCase(word, "uninstall")) {
        result.uninstall = true;
      } else {
        result.unknown.emplace_back(argument);
      }
      continue;
    }
    const std::string_view value = argument.substr(colon + 1);
    if (!value.empty()) {
      *target = value;
    } else if (i + 1 < argc && argv[i + 1][0] != '/' && argv[i + 1][0] != '-') {
      *target = argv[++i];
    }
    if (adds && target->empty()) result.dependencies.pop_back();
  }
  return result;
}

void observeStart(std::function<void()> observer) { startObserver() = std::move(observer); }

int runGateway(int argc, char** argv) {
  platform::holdLogReopenRequests();
  if (argc < 2) {
    std::printf("%sNo INI file given (/ini:)\n", kUsage);
    return kFailureExitStatus;
  }
  const CommandLine commandLine = parseCommandLine(argc, argv);
  if (commandLine.help) {
    const bool windows = platform::windowsServicesExist();
    std::printf("%s%s%s%s%s", kUsage, kHelpIntro, windows ? kWindowsOptions : "", kHelpEnd,
                windows ? kWindowsStopAndDocs : kPosixStopAndDocs);
    return 0;
  }
  if (commandLine.version) {
    std::printf("Trasvik %s\n", kVersion);
    return 0;
  }
  if (commandLine.install || commandLine.uninstall) return manageService(commandLine);
  if (commandLine.status) return reportStatus(commandLine);
  setSupervised(commandLine.supervised || !commandLine.runService.empty());
  if (!commandLine.runService.empty() && !commandLine.ini.empty()) return runAsWindowsService(commandLine, runConfigured);
  return runConfigured(commandLine);
}

namespace {

int runConfigured(const CommandLine& commandLine) {
  if (commandLine.ini.empty()) {
    std::printf("%s", kUsage);
    for (const std::string& option : commandLine.unknown) std::printf("Unknown option \"%s\"\n", option.c_str());
    if (commandLine.unknown.empty()) std::printf("No INI file given (/ini:)\n");
    return kFailureExitStatus;
  }
  if (!commandLine.directory.empty() && platform::setCurrentDirectory(commandLine.directory) != 0) {
    reportStartFailure(formatText("Can't set current directory \"%s\"", commandLine.directory.c_str()));
    return kFailureExitStatus;
  }
  if (const unsigned error = QnIniOpen(commandLine.ini.c_str()); error != 0) {
    std::string text = formatText("Can't open INI file: \"%s\", QNERROR 0x%08X", commandLine.ini.c_str(), error);
    if (error == QNERROR_BAD_ENCODING) {
      text += "\nThe INI file's text is not readable: it has NUL bytes, or its byte order mark declares an "
              "encoding its text does not hold (UTF-8 or UTF-16) or UTF-32. Save it as ANSI or UTF-8 text";
    }
    reportStartFailure(text);
    return kFailureExitStatus;
  }
  if (commandLine.check) return checkConfiguration(commandLine);
  if (const unsigned error = QnLogOpen(0); error != 0) {
    reportStartFailure(formatText("Can't open LOG file, QNERROR 0x%08X", error));
    QnIniClose();
    return kFailureExitStatus;
  }
  logStartFacts(commandLine);
  if (!iniTextsWritable() || !openStateFile(commandLine)) {
    closeIniAndLog();
    return kFailureExitStatus;
  }
  openGatewayStatusFile(commandLine);

  RuleList rules;
  LostSession lostSession;
  for (;;) {
    bool started = false;
    const Outcome outcome = runSession(rules, started, lostSession);
    if (outcome == Outcome::kRestart) {
      if (!lostSession.lost) lostSession = {true, std::chrono::steady_clock::now()};
      // A new session: the old rules and stop event go, and the old context
      // is let go of before a new one is opened.
      rules.clear();
      releaseNotificationUrl();
      releaseServiceContext();
      continue;
    }
    stopHangWatch();
    closeStatusFile();
    if (!started) return kFailureExitStatus;  // start-up failed and closed everything
    rules.clear();
    releaseSession();
    const int status = outcome == Outcome::kStopped ? 0 : kFailureExitStatus;
    // What it did since it started (files posted, messages received and
    // rejected, the pass a stop cut short included), and what durability
    // cost it: its flushes to disk, as the service reports its own.
    const RunCounts& done = runCounts();
    GATEWAY_INFO("Trasvik stopped with exit status %d, %llu file(s) posted, %llu message(s) received, %llu rejected, "
                 "%llu durable flushes since the start",
                 status, done.postedFiles, done.received + passCounts().received,
                 done.rejected + passCounts().rejected,
                 static_cast<unsigned long long>(platform::durableFlushCount()));
    closeIniAndLog();
    return status;
  }
}

}  // namespace

}  // namespace trasvik
