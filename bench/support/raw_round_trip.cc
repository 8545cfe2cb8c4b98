#include "support/raw_round_trip.h"

#include <string>
#include <thread>

#include "platform/socket.h"

namespace bench_support {

void runRawRoundTrip(benchmark::State& state, std::size_t requestSize, std::size_t answerSize) {
  int port = 0;
  const int listener = platform::listenOnLoopback(port);
  std::thread server([listener, requestSize, answerSize] {
    const int socket = platform::acceptConnection(listener);
    if (socket < 0) return;
    platform::setNoDelay(socket);
    const std::string answer(answerSize, 'a');
    char buffer[65536];
    std::size_t pending = 0;
    for (;;) {
      const long got = platform::receiveSome(socket, buffer, sizeof buffer);
      if (got <= 0) break;
      pending += static_cast<std::size_t>(got);
      for (; pending >= requestSize; pending -= requestSize) platform::sendSome(socket, answer.data(), answer.size());
    }
    platform::closeSocket(socket);
  });

  const int socket = platform::createTcpSocket();
  platform::setNoDelay(socket);
  platform::connectSocket(socket, "127.0.0.1", port);
  const std::string request(requestSize, 'r');
  char buffer[65536];
  for (auto _ : state) {
    platform::sendSome(socket, request.data(), request.size());
    for (std::size_t got = 0; got < answerSize;) {
      const long n = platform::receiveSome(socket, buffer, sizeof buffer);
      if (n <= 0) {
        state.SkipWithError("connection lost");
        break;
      }
      got += static_cast<std::size_t>(n);
    }
  }
  platform::closeSocket(socket);
  platform::shutdownSocket(listener);
  server.join();
  platform::closeSocket(listener);
}

}  // namespace bench_support
