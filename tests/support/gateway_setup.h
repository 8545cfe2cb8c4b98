// The world a gateway runs in, for the gateway's tests: a dravont-service
// (with test hooks) on a free port of 127.0.0.1 with a store of its own,
// participant settings files, directories, and the gateway's INI file with
// its log file. The INI is written as sections of key lines; [qnsys],
// [trasvik] and the URL sections get working defaults that a test
// overrides key by key.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/child_process.h"
#include "platform/random_access_file.h"
#include "support/service_fixture.h"
#include "support/temp_directory.h"

namespace gateway_testing {

// The participant the gateway runs as, and the administrator its
// notifications go to.
inline constexpr char kGatewayTicker[] = "GATE";
inline constexpr char kAdminTicker[] = "ADMIN";
inline constexpr char kPeerTicker[] = "PEER";
inline constexpr char kServiceName[] = "SVC";
inline constexpr char kFolderTicker[] = "FILED";  // a service folder "Filed documents"

std::string addressOf(const char* ticker);

// A message a participant sends to the gateway.
struct Delivery {
  const char* from = kPeerTicker;
  std::string subject;
  std::string coretype;  // four hexadecimal digits; empty: no header
  std::string postToken;  // the sender's post token; empty: no header
  int level = 1;         // protection level of every attachment
  std::vector<std::pair<std::string, std::string>> attachments;  // name, contents
};

using Attachments = std::vector<std::pair<std::string, std::string>>;  // name, contents

// A message to the gateway (each attachment at protection level `level`).
Delivery message(const std::string& subject, const Attachments& attachments = {}, const std::string& coretype = "",
                 const char* from = kPeerTicker, int level = 1);

// Every name in the directory, hidden ones included, sorted.
std::vector<std::string> directoryNames(const std::string& directory);

// A text as `dravont-service list` quotes it; listedPrefix leaves out the
// closing quote.
std::string listed(const std::string& text);
std::string listedPrefix(const std::string& text);

// True for five decimal digits followed by `extension`.
bool isCounterName(const std::string& name, const std::string& extension = "");

// How a test holds a file open as another program would: kWriting, as a
// program that still writes it; kExclusively, with no sharing, as a program
// that locks it against every other open (Windows only).
// kWriting: a writer that shares everything; kExclusively: shares
// nothing; kKeepingName (Windows only): a reader that lets others read and
// write but not rename or remove, as scanners and backup agents do.
enum class Hold { kWriting, kExclusively, kKeepingName };
// Opens the file in this test process and keeps it open while the result
// lives; the programs the test starts do not inherit it. Null, with a test
// failure, when it cannot be opened.
std::unique_ptr<platform::RandomAccessFile> holdOpen(const std::string& path, Hold hold);

class GatewaySetup {
 public:
  // Starts the service (with the `serviceEnvironment` entries "NAME=value"
  // added, such as injected file faults); writes settings for the gateway
  // (notifying the administrator when `notifications`), the administrator
  // and the peer.
  explicit GatewaySetup(bool notifications = true, const std::vector<std::string>& serviceEnvironment = {});
  ~GatewaySetup();

  const testing_support::TempDirectory& directory() const { return directory_; }
  int port() const { return service_->port(); }
  // A directory inside the setup's directory, created when missing; with a
  // trailing separator.
  std::string makeDirectory(const std::string& name) const;

  // Sets a key of the INI file ("" as value keeps an empty key); erase()
  // removes it.
  void set(const std::string& section, const std::string& key, const std::string& value);
  void erase(const std::string& section, const std::string& key);
  // One pass without a long sleep, and a main rule "main" of `type` whose
  // incoming directory is "in/" (returned, with its trailing '/').
  std::string useMainRule(const std::string& type);
  // Writes the INI file and returns its path. encodeIni(f) has f turn the
  // text (UTF-8, as set) into the bytes written, as an editor would save it.
  std::string writeIni() const;
  void encodeIni(std::function<std::string(const std::string& text)> encode) { encodeIni_ = std::move(encode); }
  // The settings file of a participant.
  std::string participantSettings(const char* ticker) const;

  // The trasvik program of this build.
  static std::string gatewayBinary();
  // Writes the INI file and starts trasvik with "/ini:" and its path, then
  // `arguments`, connected to the setup's service (XMLRPCPORT);
  // `environment` entries ("NAME=value") are added for it. Its standard
  // output is captured.
  std::unique_ptr<platform::ChildProcess> startGateway(const std::vector<std::string>& arguments = {},
                                                       const std::vector<std::string>& environment = {}) const;
  // startGateway, then waits for its end: the exit status (-1 when it does
  // not end within `timeoutMilliseconds`; it is killed then) and, in
  // `output`, what it printed.
  int runGateway(std::string* output = nullptr, const std::vector<std::string>& environment = {},
                 int timeoutMilliseconds = 60000) const;

  // The log file's records, one line each.
  std::vector<std::string> logRecords() const;
  // The number of records of `level` ("FATAL", "ERROR", "WARNING", "INFO")
  // whose text is exactly `text`.
  int countRecords(const std::string& level, const std::string& text) const;
  // What `dravont-service list` prints for the store.
  // The post tokens of messages, which differ from run to run, are left
  // out unless `withPostTokens`.
  std::string listStore(bool withPostTokens = false) const;
  // Posts the message to the gateway's inbox; returns its id.
  std::string deliver(const Delivery& delivery);
  // Kills the service (SIGKILL), as a crash would; restartService() starts
  // it again.
  void stopService();
  // Kills the service (SIGKILL) and starts it again on the same port and
  // store, as an administrator restarts a crashed service.
  void restartService();
  // Waits up to `timeoutMilliseconds` until `condition` holds; false when it
  // never did.
  static bool waitUntil(const std::function<bool()>& condition, int timeoutMilliseconds = 30000);
  // The number of records whose text begins with `prefix` (any level).
  int countRecordsStartingWith(const std::string& prefix) const;
  // Makes the next `count` calls of `method` fail ("error", "fault", "drop").
  void inject(const std::string& method, int count, const std::string& mode, const std::string& text = "");

 private:
  testing_support::TempDirectory directory_;
  std::vector<std::string> serviceEnvironment_;
  std::unique_ptr<service_testing::ServiceProcess> service_;
  std::map<std::string, std::vector<std::pair<std::string, std::string>>> sections_;
  std::vector<std::string> sectionOrder_;
  std::function<std::string(const std::string&)> encodeIni_;
};

}  // namespace gateway_testing
