// dravont-service measured from a client on loopback. One service process,
// started on a free port with a fresh store, serves every benchmark.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <thread>

#include "platform/child_process.h"
#include "platform/socket.h"
#include "support/temp_directory.h"
#include "transport/xmlrpc_client.h"
#include "support/raw_round_trip.h"

namespace {

using Quillex::XmlRpcValue;

class BenchService {
 public:
  static BenchService& instance() {
    static BenchService service;  // stopped at exit
    return service;
  }
  int port() const { return port_; }
  const testing_support::TempDirectory& directory() const { return directory_; }

  std::string settings(int index) const {
    return directory_.write("p" + std::to_string(index) + ".ini",
                            "[self]\nticker=BENCH" + std::to_string(index) +
                                "\nservice=SVC\n[signature]\ndn=CN=Bench\nkey_not_before=a\nkey_not_after=b\n"
                                "cert_not_before=c\ncert_not_after=d\nserial=1\n");
  }

 private:
  BenchService() {
    std::string error;
    child_ = platform::ChildProcess::start({DRAVONT_SERVICE, "--port", "0", "--store", directory_.file("store")}, true,
                                           error);
    const std::optional<std::string> line = child_ ? child_->readLine(10000) : std::nullopt;
    port_ = line ? std::atoi(line->c_str()) : 0;
  }

  testing_support::TempDirectory directory_;
  std::unique_ptr<platform::ChildProcess> child_;
  int port_ = 0;
};

XmlRpcValue params(std::initializer_list<XmlRpcValue> values) {
  XmlRpcValue array;
  int index = 0;
  for (const XmlRpcValue& value : values) array[index++] = value;
  return array;
}

// A client of its own with a context and one open file stream.
struct StreamClient {
  explicit StreamClient(int index) : client("127.0.0.1", BenchService::instance().port(), "/RPC2") {
    XmlRpcValue answer;
    client.execute("InitContext", params({BenchService::instance().settings(index)}), answer);
    context = answer[0].getInt();
    const std::string file = BenchService::instance().directory().write("f" + std::to_string(index), "0123456789");
    client.execute("DravontStreamFileCtor", params({context, file, "rb", ""}), answer);
    stream = answer[0].getInt();
  }
  Quillex::XmlRpcClient client;
  int context = 0;
  int stream = 0;
};

void lengthCalls(benchmark::State& state) {
  StreamClient client(state.thread_index());
  const XmlRpcValue call = params({client.context, client.stream});
  XmlRpcValue answer;
  for (auto _ : state) {
    if (!client.client.execute("DravontStreamLength", call, answer) || answer[0].getInt() != 10) {
      state.SkipWithError("call failed");
      break;
    }
  }
}

void BM_StreamLengthCall(benchmark::State& state) { lengthCalls(state); }
BENCHMARK(BM_StreamLengthCall)->UseRealTime();

void BM_StreamLengthCallClients(benchmark::State& state) { lengthCalls(state); }
BENCHMARK(BM_StreamLengthCallClients)->Threads(1)->Threads(8)->UseRealTime();

// A raw ping-pong with the call's sizes, against a one-thread server that
// answers in one write: the floor any service on loopback stands on.
void BM_RawTcpRoundTrip(benchmark::State& state) {
  bench_support::runRawRoundTrip(state, bench_support::kSmallCallRequestSize, bench_support::kSmallCallAnswerSize);
}
BENCHMARK(BM_RawTcpRoundTrip)->UseRealTime();

// What the gateway does per file: open it as a stream, address a message,
// attach, post (the post is on the disk before it is answered), free.
void BM_PostOneMiBAttachment(benchmark::State& state) {
  BenchService& service = BenchService::instance();
  Quillex::XmlRpcClient client("127.0.0.1", service.port(), "/RPC2");
  XmlRpcValue answer;
  client.execute("InitContext", params({service.settings(100)}), answer);
  const int receiver = answer[0].getInt();
  client.execute("InitContext", params({service.settings(101)}), answer);
  const int context = answer[0].getInt();
  const std::string file = service.directory().write("attachment.bin", std::string(1 << 20, 'm'));
  client.execute("DravontURLCtor", params({context, "send", ""}), answer);
  const int url = answer[0].getInt();
  for (auto _ : state) {
    client.execute("DravontStreamFileCtor", params({context, file, "rb", ""}), answer);
    const int stream = answer[0].getInt();
    client.execute("DravontAddressCtor", params({context, "BENCH100", "SVC", "", "", ""}), answer);
    const int address = answer[0].getInt();
    client.execute("DravontMessageCtor", params({context, address, ""}), answer);
    const int message = answer[0].getInt();
    client.execute("DravontAttachStreamToMessage", params({context, message, stream, 2}), answer);
    if (!client.execute("PostMessageTo", params({context, message, url}), answer) || answer[1].getString() != "") {
      state.SkipWithError("post failed");
      break;
    }
    client.execute("DravontMessageDtor", params({context, message}), answer);
    client.execute("DravontAddressDtor", params({context, address}), answer);
    client.execute("DravontStreamDtor", params({context, stream}), answer);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * (1 << 20));
  (void)receiver;
}
BENCHMARK(BM_PostOneMiBAttachment)->UseRealTime()->Iterations(150);

}  // namespace
