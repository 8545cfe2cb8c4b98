#include "http_request.h"

#include <charconv>

#include "text/ascii.h"

namespace dravont_service {

namespace {

std::string_view trimmed(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

bool isTokenCharacter(char c) {
  if (c >= 'a' && c <= 'z') return true;
  if (c >= 'A' && c <= 'Z') return true;
  if (c >= '0' && c <= '9') return true;
  return std::string_view("!#$%&'*+-.^_`|~").find(c) != std::string_view::npos;
}

bool isToken(std::string_view text) {
  if (text.empty()) return false;
  for (char c : text) {
    if (!isTokenCharacter(c)) return false;
  }
  return true;
}

// "METHOD TARGET HTTP/1.x"; `minorVersion` gets x.
bool parseRequestLine(std::string_view line, HttpRequestHead& head, int& minorVersion) {
  const std::size_t firstSpace = line.find(' ');
  if (firstSpace == std::string_view::npos) return false;
  const std::size_t secondSpace = line.find(' ', firstSpace + 1);
  if (secondSpace == std::string_view::npos) return false;
  const std::string_view method = line.substr(0, firstSpace);
  const std::string_view target = line.substr(firstSpace + 1, secondSpace - firstSpace - 1);
  const std::string_view version = line.substr(secondSpace + 1);
  if (!isToken(method) || target.empty() || target.find(' ') != std::string_view::npos) return false;
  if (version.size() != 8 || !version.starts_with("HTTP/1.") || version[7] < '0' || version[7] > '9') return false;
  head.method = method;
  head.target = target;
  minorVersion = version[7] - '0';
  return true;
}

bool parseLength(std::string_view digits, std::uint64_t& length) {
  if (digits.empty()) return false;
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), length);
  return error == std::errc() && end == digits.data() + digits.size();
}

// True when the comma-separated `value` lists `option`, in any case.
bool listsOption(std::string_view value, std::string_view option) {
  while (!value.empty()) {
    const std::size_t comma = value.find(',');
    if (text::equalsIgnoringAsciiCase(trimmed(value.substr(0, comma)), option)) return true;
    if (comma == std::string_view::npos) break;
    value.remove_prefix(comma + 1);
  }
  return false;
}

const char* reasonOf(int status) {
  switch (status) {
    case 100: return "Continue";
    case 200: return "OK";
    case 400: return "Bad Request";
    case 404: return "Not Found";
    case 411: return "Length Required";
    case 413: return "Payload Too Large";
    default: return "Error";
  }
}

}  // namespace

bool parseRequestHead(const std::vector<std::string>& lines, HttpRequestHead& head) {
  int minorVersion = 0;
  if (lines.empty() || !parseRequestLine(lines.front(), head, minorVersion)) return false;
  bool connectionClose = false;
  bool connectionKeepAlive = false;
  for (std::size_t i = 1; i < lines.size(); ++i) {
    const std::string_view line = lines[i];
    const std::size_t colon = line.find(':');
    if (colon == std::string_view::npos || !isToken(line.substr(0, colon))) return false;
    const std::string_view name = line.substr(0, colon);
    const std::string_view value = trimmed(line.substr(colon + 1));
    if (text::equalsIgnoringAsciiCase(name, "Content-Length")) {
      std::uint64_t length = 0;
      // Two differing lengths leave the body's end in doubt.
      if (!parseLength(value, length) || (head.hasContentLength && length != head.contentLength)) return false;
      head.hasContentLength = true;
      head.contentLength = length;
    } else if (text::equalsIgnoringAsciiCase(name, "Transfer-Encoding")) {
      head.hasTransferEncoding = true;
    } else if (text::equalsIgnoringAsciiCase(name, "Connection")) {
      connectionClose = connectionClose || listsOption(value, "close");
      connectionKeepAlive = connectionKeepAlive || listsOption(value, "keep-alive");
    } else if (text::equalsIgnoringAsciiCase(name, "Expect")) {
      head.expectsContinue = text::equalsIgnoringAsciiCase(value, "100-continue");
    }
  }
  head.keepAlive = !connectionClose && (minorVersion >= 1 || connectionKeepAlive);
  return true;
}

std::string answerText(int status, std::string_view body, bool keepAlive, int idleSeconds) {
  std::string text = "HTTP/1.1 " + std::to_string(status) + " " + reasonOf(status) + "\r\n";
  if (!body.empty()) text += "Content-Type: text/xml\r\n";
  text += "Content-Length: " + std::to_string(body.size()) + "\r\n";
  if (keepAlive) {
    text += "Connection: keep-alive\r\nKeep-Alive: timeout=" + std::to_string(idleSeconds) + "\r\n";
  } else {
    text += "Connection: close\r\n";
  }
  text += "\r\n";
  text.append(body);
  return text;
}

}  // namespace dravont_service
