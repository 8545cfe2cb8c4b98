#include "command_line.h"

#include <charconv>

#include "platform/environment.h"

namespace dravont_service {

const char kUsageText[] =
    "Usage: dravont-service [--port N] [--store DIR] [--version TEXT] [--test-hooks] [--stats]\n"
    "                       [--script-memory-mib N] [--script-time-ms N] [--read-timeout-ms N] [--idle-timeout-s N]\n"
    "                       [--max-connections N] [--max-request-mib N] [--max-request-values N]\n"
    "                       [--wine-prefix DIR] [--pid-file FILE]\n"
    "       dravont-service [--store DIR] list\n"
    "       dravont-service [--store DIR] send --from ADDR --to ADDR [--subject S] [--coretype HHHH] FILE...\n";

namespace {

bool parseInt(const std::string& text, int low, int high, int& value) {
  int parsed = 0;
  const auto [end, status] = std::from_chars(text.data(), text.data() + text.size(), parsed);
  if (status != std::errc() || end != text.data() + text.size() || parsed < low || parsed > high) return false;
  value = parsed;
  return true;
}

bool isHex16(const std::string& text) {
  if (text.empty() || text.size() > 4) return false;
  for (const char c : text) {
    const bool hex = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
    if (!hex) return false;
  }
  return true;
}

class ArgumentReader {
 public:
  explicit ArgumentReader(const std::vector<std::string>& arguments) : arguments_(arguments) {}
  bool done() const { return next_ >= arguments_.size(); }
  const std::string& take() { return arguments_[next_++]; }
  // The value after an option; false when there is none.
  bool value(const std::string& option, std::string& out, std::string& error) {
    if (done()) {
      error = option + " needs a value";
      return false;
    }
    out = take();
    return true;
  }

 private:
  const std::vector<std::string>& arguments_;
  std::size_t next_ = 0;
};

bool parseSend(ArgumentReader& reader, SendRequest& send, std::string& error) {
  std::string value;
  while (!reader.done()) {
    const std::string argument = reader.take();
    if (argument == "--from") {
      if (!reader.value(argument, send.from, error)) return false;
    } else if (argument == "--to") {
      if (!reader.value(argument, value, error)) return false;
      send.to.push_back(value);
    } else if (argument == "--subject") {
      if (!reader.value(argument, send.subject, error)) return false;
    } else if (argument == "--coretype") {
      if (!reader.value(argument, send.coretype, error)) return false;
      if (!isHex16(send.coretype)) {
        error = "--coretype takes up to four hexadecimal digits";
        return false;
      }
      // Four upper-case digits, the form senders use.
      for (char& c : send.coretype) {
        if (c >= 'a' && c <= 'f') c = static_cast<char>(c - 'a' + 'A');
      }
      send.coretype.insert(0, 4 - send.coretype.size(), '0');
    } else if (argument.starts_with("--")) {
      error = "Unknown send option " + argument;
      return false;
    } else {
      send.files.push_back(argument);
    }
  }
  if (send.from.empty() || send.to.empty() || send.files.empty()) {
    error = "send needs --from, --to and at least one file";
    return false;
  }
  return true;
}

}  // namespace

std::optional<CommandLine> parseCommandLine(const std::vector<std::string>& arguments, std::string& error) {
  CommandLine line;
  if (std::optional<std::string> port = platform::environmentVariable("XMLRPCPORT"); port && !port->empty()) {
    if (!parseInt(*port, 0, 65535, line.port)) {
      error = "XMLRPCPORT is not a port number: " + *port;
      return std::nullopt;
    }
  }
  ArgumentReader reader(arguments);
  std::string value;
  while (!reader.done()) {
    const std::string argument = reader.take();
    if (argument == "list") {
      line.command = Command::kList;
      if (!reader.done()) {
        error = "list takes no arguments";
        return std::nullopt;
      }
    } else if (argument == "send") {
      line.command = Command::kSend;
      if (!parseSend(reader, line.send, error)) return std::nullopt;
    } else if (argument == "--test-hooks") {
      line.service.testHooks = true;
    } else if (argument == "--stats") {
      line.stats = true;
    } else if (argument == "--wine-prefix") {
      if (!reader.value(argument, line.service.winePrefix, error)) return std::nullopt;
    } else if (argument == "--pid-file") {
      if (!reader.value(argument, line.pidFile, error)) return std::nullopt;
    } else if (argument == "--port" || argument == "--store" || argument == "--version" ||
               argument == "--script-memory-mib" || argument == "--script-time-ms" || argument == "--read-timeout-ms" ||
               argument == "--idle-timeout-s" || argument == "--max-connections" || argument == "--max-request-mib" ||
               argument == "--max-request-values") {
      if (!reader.value(argument, value, error)) return std::nullopt;
      int number = 0;
      bool ok = true;
      if (argument == "--port") {
        ok = parseInt(value, 0, 65535, line.port);
      } else if (argument == "--store") {
        ok = !value.empty();
        line.service.storeDirectory = value;
      } else if (argument == "--version") {
        line.service.version = value;
      } else if (argument == "--script-memory-mib") {
        ok = parseInt(value, 1, 4096, number);
        line.service.scriptMemoryBudget = static_cast<std::size_t>(number) << 20;
      } else if (argument == "--script-time-ms") {
        ok = parseInt(value, 1, 3600000, line.service.scriptTimeMilliseconds);
      } else if (argument == "--read-timeout-ms") {
        ok = parseInt(value, 1, 3600000, line.http.readTimeoutMilliseconds);
      } else if (argument == "--idle-timeout-s") {
        ok = parseInt(value, 1, 86400, line.http.idleTimeoutSeconds);
      } else if (argument == "--max-connections") {
        ok = parseInt(value, 1, 100000, number);
        line.http.maxConnections = static_cast<std::size_t>(number);
      } else if (argument == "--max-request-mib") {
        ok = parseInt(value, 1, 4095, number);
        line.http.maxRequestBytes = static_cast<std::size_t>(number) << 20;
      } else {
        ok = parseInt(value, 1, 1000000000, number);
        line.http.maxRequestValues = static_cast<std::size_t>(number);
      }
      if (!ok) {
        error = "Bad value for " + argument + ": \"" + value + "\"";
        return std::nullopt;
      }
    } else {
      error = "Unknown argument \"" + argument + "\"";
      return std::nullopt;
    }
  }
  return line;
}

}  // namespace dravont_service
