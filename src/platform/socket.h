// Blocking IPv4 TCP sockets and readiness polling. A socket is a plain
// descriptor (-1 = none). Functions that fail leave the reason in the
// calling thread's socket error (lastSocketError()). Thread-safe; a given
// socket is used by one thread at a time.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace platform {

// The calling thread's most recent socket error number.
int lastSocketError();
// "error %d" with the calling thread's most recent socket error number.
std::string lastSocketErrorText();
// The system's description of the calling thread's most recent socket
// error, with its number: "Connection refused (error 111)".
std::string lastSocketErrorDescription();
// The error number of a call interrupted by a signal.
extern const int kInterruptedError;
// True for errors that mean "try again": interrupted, would block, in progress.
bool isTransientSocketError(int error);

// A new blocking TCP stream socket, or -1.
int createTcpSocket();
// Resolves `host` (IPv4 name or dotted address) and connects to the first
// address found. Returns true iff connected (or the connect is in progress).
bool connectSocket(int socket, const std::string& host, int port);
// Disables Nagle's algorithm: each request and answer is written in one piece
// and must not wait for the peer's delayed acknowledgement.
void setNoDelay(int socket);
// Sends once; returns the bytes sent or -1. Never raises SIGPIPE.
long sendSome(int socket, const void* data, std::size_t size);
// Receives once; returns the bytes received, 0 at end of stream, or -1.
long receiveSome(int socket, void* buffer, std::size_t size);
void closeSocket(int socket);
// Ends both directions without closing the descriptor.
void shutdownSocket(int socket);

// A listening socket on 127.0.0.1. Port 0 picks a free port; `port` then
// holds the port chosen. Returns the socket or -1.
int listenOnLoopback(int& port, int backlog = 64);
// Waits for and accepts one connection; -1 on failure.
int acceptConnection(int listeningSocket);

// Readiness bits, shared with the event loop.
enum PollEvent : unsigned {
  kPollReadable = 1,
  kPollWritable = 2,
  kPollExceptional = 4,
};

struct PollEntry {
  int socket = -1;
  unsigned wanted = 0;  // PollEvent bits
  unsigned ready = 0;   // filled by pollSockets
};

// Waits until one of the sockets is ready or the time-out (milliseconds,
// negative = no limit) has passed. Works for any descriptor number. Returns
// the number of ready entries, 0 on time-out, -1 on failure. A peer's hang-up
// reports the socket readable (the next receive sees the end of stream); an
// error condition reports it exceptional.
int pollSockets(std::vector<PollEntry>& entries, int timeoutMilliseconds);

}  // namespace platform
