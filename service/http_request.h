// The HTTP/1.x framing the service reads and writes: a request's head
// (request line and header fields) and an answer's text. No I/O here; the
// connection loop (http_server.cc) reads the lines and sends the text.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace dravont_service {

struct HttpRequestHead {
  std::string method;
  std::string target;
  // HTTP/1.1 keeps the connection unless "Connection: close"; HTTP/1.0 only
  // with "Connection: keep-alive".
  bool keepAlive = true;
  bool hasContentLength = false;
  std::uint64_t contentLength = 0;
  bool hasTransferEncoding = false;
  bool expectsContinue = false;  // "Expect: 100-continue"
};

// Parses a head from its lines (CR LF already removed, without the empty
// line that ends it): the request line first, then one field per line.
// Returns false when the head is malformed: a request line that is not
// "METHOD TARGET HTTP/1.x", a field without a name and colon, or a
// Content-Length that is not one decimal number. `head` is then unspecified.
bool parseRequestHead(const std::vector<std::string>& lines, HttpRequestHead& head);

// A whole answer: status line, Content-Type (when there is a body),
// Content-Length, Connection and, for a kept connection, Keep-Alive with
// `idleSeconds`; then the body.
std::string answerText(int status, std::string_view body, bool keepAlive, int idleSeconds);

}  // namespace dravont_service
