#include "gateway/exchange_world.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "platform/file.h"
#include "support/service_fixture.h"

namespace gateway_bench {

namespace {

constexpr char kService[] = "BENCH";
constexpr char kSenderTicker[] = "SENDA";
constexpr char kReceiverTicker[] = "RECVB";

// A gateway's INI file with the settings of the measurement: one pass a
// second, no end by itself, the log at its usual level.
std::string gatewayIniText(const std::string& home, bool keepState, const std::string& rule,
                           const char* type = "FILE") {
  return "[qnsys]\nlogfile=" + home + "/trasvik.log\nloglevel=info\n\n"
         "[trasvik]\nsrvcini=" + home + "/participant.ini\nsendparam=send\nrecvparam=receive\nerror=" + home +
         "/error\nsleeptime=1\nloops=0\nstatefile=" + (keepState ? home + "/trasvik.state" : "none") + "\n\n"
         "[send]\nurl=dravont://send\n\n[receive]\nurl=dravont://receive\n\n"
         "[rules]\nmain=files\n\n[files]\ntype=" + type + "\n" + rule;
}

// The header of the index-th ".msg" file: B as recipient, and the name its
// body is saved under. Of the same length for every index.
std::string msgHeader(int index) {
  char name[32];
  std::snprintf(name, sizeof name, "file-%06d.bin", index);
  return "to: " + service_testing::addressOf(kReceiverTicker, kService) + "\nfilename: " + name + "\n";
}

// The envelope of the index-th pair: B as recipient, and the name its data
// file is sent under.
std::string envelope(int index) {
  char name[32];
  std::snprintf(name, sizeof name, "file-%06d.bin", index);
  return "to: " + service_testing::addressOf(kReceiverTicker, kService) + "\nfilename: " + name + "\n";
}

const char* ruleType(Outgoing kind) {
  if (kind == Outgoing::kMsgFiles) return "MSG";
  return kind == Outgoing::kEnvelopePairs ? "UA" : "FILE";
}

// Writes the file, flushed to disk; "" or why not.
std::string writeFlushed(const std::string& path, const std::string& contents) {
  if (int error = platform::writeWholeFile(path, contents)) {
    return "cannot write " + path + ": " + std::generic_category().message(error);
  }
  return "";
}

}  // namespace

ExchangeWorld::ExchangeWorld(std::uint32_t maxAttachmentSize, Outgoing kind, bool keepState) : outgoing_(kind) {
  for (const char* name : {"store", "a/out", "a/in", "a/error", "b/in", "b/error"}) {
    std::filesystem::create_directories(directory_.file(name));
  }
  const std::string sender = service_testing::addressOf(kSenderTicker, kService);
  const std::string receiver = service_testing::addressOf(kReceiverTicker, kService);
  directory_.write("store/addressbook.ini", "[addresses]\n" + sender + "=1\n" + receiver + "=1\n");
  directory_.write("a/participant.ini", service_testing::settingsText(kSenderTicker, kService));
  directory_.write("b/participant.ini", service_testing::settingsText(kReceiverTicker, kService));
  std::string senderRule = "in=" + directory_.file("a/in") + "\nout=" + outgoing() + "\naddress=" + receiver + "\n";
  if (maxAttachmentSize != 0) senderRule += "maxattachmentsize=" + std::to_string(maxAttachmentSize) + "\n";
  directory_.write("a/trasvik.ini", gatewayIniText(directory_.file("a"), keepState, senderRule, ruleType(kind)));
  directory_.write("b/trasvik.ini", gatewayIniText(directory_.file("b"), keepState, "in=" + incoming() + "\n",
                                                   kind == Outgoing::kEnvelopePairs ? "UA" : "FILE"));
}

std::string ExchangeWorld::gatewayIni(char participant) const {
  return directory_.file(std::string(1, participant) + "/trasvik.ini");
}

std::string ExchangeWorld::gatewayLog(char participant) const {
  return directory_.file(std::string(1, participant) + "/trasvik.log");
}

std::string ExchangeWorld::writeOutgoingFiles(int count, std::size_t bytes) const {
  std::string contents(bytes, '\0');
  for (std::size_t i = 0; i < bytes; ++i) contents[i] = static_cast<char>('a' + i % 26);
  const bool msgFiles = outgoing_ == Outgoing::kMsgFiles;
  const bool pairs = outgoing_ == Outgoing::kEnvelopePairs;
  for (int index = 1; index <= count; ++index) {
    char name[32];
    std::snprintf(name, sizeof name, msgFiles ? "file-%06d.msg" : pairs ? "file-%06d.001" : "file-%06d.bin", index);
    // The file's name at its start makes every file's contents different.
    const std::size_t stamp = std::min(bytes, std::strlen(name));
    contents.replace(0, stamp, name, stamp);
    const std::string file =
        msgFiles ? msgHeader(index) + contents.substr(0, receivedBytes(bytes)) : contents;
    // An envelope is written after its data file, as a sender would.
    std::string error = writeFlushed(outgoing() + "/" + name, file);
    if (error.empty() && pairs) {
      std::snprintf(name, sizeof name, "file-%06d.env", index);
      error = writeFlushed(outgoing() + "/" + name, envelope(index));
    }
    if (!error.empty()) return error;
  }
  return "";
}

std::size_t ExchangeWorld::receivedBytes(std::size_t bytes) const {
  if (outgoing_ != Outgoing::kMsgFiles) return bytes;
  const std::size_t header = msgHeader(0).size();
  return bytes > header ? bytes - header : 0;
}

int countVisibleFiles(const std::string& directory) {
  int count = 0;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(directory, error)) {
    if (entry.is_regular_file(error) && !entry.path().filename().string().starts_with('.')) ++count;
  }
  return count;
}

}  // namespace gateway_bench
