#include "transport/xmlrpc_client.h"

#include <cctype>
#include <climits>
#include <cstring>

#include "text/ascii.h"
#include "transport/xmlrpc_report.h"
#include "transport/xmlrpc_response.h"
#include "transport/xmlrpc_socket.h"

namespace Quillex {

namespace {

constexpr char kRequestBegin[] = "<?xml version=\"1.0\"?>\r\n<methodCall><methodName>";
constexpr char kRequestParamsBegin[] = "</methodName>\r\n<params>";
constexpr char kRequestEnd[] = "</methodCall>\r\n";
constexpr char kContentLengthName[] = "Content-length: ";
constexpr std::size_t kContentLengthNameSize = sizeof kContentLengthName - 1;

// Clears the busy flag on every way out of execute().
class BusyGuard {
 public:
  explicit BusyGuard(bool& busy) : busy_(busy) { busy_ = true; }
  ~BusyGuard() { busy_ = false; }
  BusyGuard(const BusyGuard&) = delete;
  BusyGuard& operator=(const BusyGuard&) = delete;

 private:
  bool& busy_;
};

}  // namespace

XmlRpcClient::XmlRpcClient(const char* host, int port, const char* uri) : _host(host), _uri(uri), _port(port) {
  report(1, "XmlRpcClient new client: host %s, port %d.", host, port);
  setKeepOpen(true);
}

XmlRpcClient::~XmlRpcClient() {
  _disp.clear();
  if (getfd() != -1) {
    XmlRpcSocket::close(getfd());
    setfd(-1);
  }
}

bool XmlRpcClient::execute(const char* method, const XmlRpcValue& params, XmlRpcValue& result) {
  report(1, "XmlRpcClient::execute: method %s (_connectionState %d).", method, _connectionState);
  if (_executing) return false;
  BusyGuard busy(_executing);
  _sendAttempts = 0;
  _isFault = false;

  if (!prepareConnection()) return false;
  if (!generateRequest(method, params)) return false;

  result.clear();
  if (_disp.work(_answerTimeoutMilliseconds > 0 ? _answerTimeoutMilliseconds / 1000.0 : -1.0)) {
    reportError("Error in XmlRpcClient::execute: no answer within %d ms (state %d).", _answerTimeoutMilliseconds,
                _connectionState);
    close();  // what the service may still send belongs to this call
    return false;
  }

  if (_connectionState != IDLE || !parseResponse(result)) return false;

  report(1, "XmlRpcClient::execute: method %s completed.", method);
  _response.clear();
  return true;
}

bool XmlRpcClient::prepareConnection() {
  if ((_connectionState != NO_CONNECTION && _connectionState != IDLE) || _eof) close();
  _eof = false;
  if (_connectionState == NO_CONNECTION && !doConnect()) return false;

  _connectionState = WRITE_REQUEST;
  _bytesWritten = 0;
  _disp.unwatchSource(this);
  _disp.watchSource(this, XmlRpcDispatch::WritableEvent | XmlRpcDispatch::Exception);
  return true;
}

bool XmlRpcClient::doConnect() {
  const int fd = XmlRpcSocket::socket();
  if (fd < 0) {
    reportError("Error in XmlRpcClient::doConnect: Could not create socket (%s).", XmlRpcSocket::getErrorMsg().c_str());
    return false;
  }
  report(3, "XmlRpcClient::doConnect: fd %d.", fd);
  setfd(fd);
  // The socket blocks, and the first receive of an answer follows the
  // request's last byte at once, before the event loop looks again: the
  // answer time-out has to bound the receive itself.
  if (_answerTimeoutMilliseconds > 0) XmlRpcSocket::setReceiveTimeout(fd, _answerTimeoutMilliseconds);
  if (!XmlRpcSocket::connect(fd, _host, _port)) {
    const std::string reason = XmlRpcSocket::getErrorMsg();
    close();
    reportError("Error in XmlRpcClient::doConnect: Could not connect to server (%s).", reason.c_str());
    return false;
  }
  return true;
}

bool XmlRpcClient::generateRequest(const char* method, const XmlRpcValue& params) {
  std::string body;
  body.reserve(256);
  body += kRequestBegin;
  body += method;
  if (params.valid()) {
    body += kRequestParamsBegin;
    if (params.getType() == XmlRpcValue::TypeArray) {
      for (const XmlRpcValue& param : params.elements()) {
        body += "<param>";
        param.appendValueText(body);
        body += "</param>";
      }
    } else {
      body += "<param>";
      params.appendValueText(body);
      body += "</param>";
    }
    body += "</params>";
  } else {
    body += "</methodName>\r\n";
  }
  body += kRequestEnd;

  const std::string header = buildHeader(body);
  report(4, "XmlRpcClient::generateRequest: header is %d bytes, content-length is %d.", static_cast<int>(header.size()),
         static_cast<int>(body.size()));
  _request.clear();
  _request.reserve(header.size() + body.size());
  _request += header;
  _request += body;
  return true;
}

std::string XmlRpcClient::buildHeader(const std::string& body) {
  std::string header = "POST " + _uri + " HTTP/1.1\r\nUser-Agent: Quillex XML-RPC\r\nHost: " + _host + ":" +
                       std::to_string(_port) + "\r\nContent-Type: text/xml\r\nContent-length: " +
                       std::to_string(body.size()) + "\r\n\r\n";
  return header;
}

unsigned XmlRpcClient::handleEvent(unsigned eventType) {
  if (eventType == XmlRpcDispatch::Exception) {
    if (_connectionState == WRITE_REQUEST && _bytesWritten == 0) {
      reportError("Error in XmlRpcClient::handleEvent: could not connect to server (%s).",
                  XmlRpcSocket::getErrorMsg().c_str());
    } else {
      reportError("Error in XmlRpcClient::handleEvent (state %d): %s.", _connectionState,
                  XmlRpcSocket::getErrorMsg().c_str());
    }
    return 0;
  }

  if (_connectionState == WRITE_REQUEST && !writeRequest()) return 0;
  if (_connectionState == READ_HEADER && !readHeader()) return 0;
  if (_connectionState == READ_RESPONSE && !readResponse()) return 0;

  return _connectionState == WRITE_REQUEST ? XmlRpcDispatch::WritableEvent : XmlRpcDispatch::ReadableEvent;
}

bool XmlRpcClient::writeRequest() {
  if (_bytesWritten == 0) report(5, "XmlRpcClient::writeRequest (attempt %d):\n%s\n", _sendAttempts + 1, _request.c_str());

  if (!XmlRpcSocket::nbWrite(getfd(), _request, &_bytesWritten)) {
    reportError("Error in XmlRpcClient::writeRequest: write error (%s).", XmlRpcSocket::getErrorMsg().c_str());
    return false;
  }
  report(3, "XmlRpcClient::writeRequest: wrote %d of %d bytes.", _bytesWritten, static_cast<int>(_request.size()));

  if (_bytesWritten == static_cast<int>(_request.size())) {
    _header.clear();
    _response.clear();
    _connectionState = READ_HEADER;
  }
  return true;
}

bool XmlRpcClient::readHeader() {
  const bool readOk = XmlRpcSocket::nbRead(getfd(), _header, &_eof);
  if (!readOk || (_eof && _header.empty())) {
    // The service may have dropped the idle connection; retry once on a new one.
    if (getKeepOpen() && _header.empty() && _sendAttempts++ == 0) {
      report(4, "XmlRpcClient::readHeader: re-trying connection");
      XmlRpcSource::close();
      _connectionState = NO_CONNECTION;
      _eof = false;
      return prepareConnection();
    }
    reportError("Error in XmlRpcClient::readHeader: error while reading header (%s) on fd %d.",
                XmlRpcSocket::getErrorMsg().c_str(), getfd());
    return false;
  }

  report(4, "XmlRpcClient::readHeader: client has read %d bytes", static_cast<int>(_header.size()));

  // Find the body start, remembering the last Content-length value seen.
  const char* text = _header.data();
  const std::size_t size = _header.size();
  std::size_t lengthPosition = std::string::npos;
  std::size_t bodyStart = std::string::npos;
  for (std::size_t i = 0; i < size; ++i) {
    const std::size_t left = size - i;
    if (left > kContentLengthNameSize && text::equalsIgnoringAsciiCase(std::string_view(text + i, kContentLengthNameSize), kContentLengthName)) {
      lengthPosition = i + kContentLengthNameSize;
    } else if (left > 4 && std::memcmp(text + i, "\r\n\r\n", 4) == 0) {
      bodyStart = i + 4;
      break;
    } else if (left > 2 && std::memcmp(text + i, "\n\n", 2) == 0) {
      bodyStart = i + 2;
      break;
    }
  }

  if (bodyStart == std::string::npos) {
    if (_eof) {
      reportError("Error in XmlRpcClient::readHeader: EOF while reading header");
      return false;
    }
    return true;  // keep reading
  }

  if (lengthPosition == std::string::npos) {
    reportError("Error XmlRpcClient::readHeader: No Content-length specified");
    return false;
  }
  if (!parseContentLength(lengthPosition)) return false;

  report(4, "client read content length: %d", _contentLength);
  // The body so far: every byte after the header. The body is measured by
  // its Content-length alone; a zero byte in it is the value parser's to
  // judge; cutting the body there would wait for bytes that never come.
  _response.assign(text + bodyStart, size - bodyStart);
  _header.clear();
  _connectionState = READ_RESPONSE;
  return true;
}

bool XmlRpcClient::parseContentLength(std::size_t position) {
  const char* p = _header.c_str() + position;
  while (std::isspace(static_cast<unsigned char>(*p))) ++p;
  const char* numberStart = p;
  bool negative = false;
  if (*p == '+' || *p == '-') negative = *p++ == '-';
  long long value = 0;
  bool overflow = false;
  while (std::isdigit(static_cast<unsigned char>(*p))) {
    value = value * 10 + (*p++ - '0');
    if (value > static_cast<long long>(INT_MAX) + 1) {
      overflow = true;
      while (std::isdigit(static_cast<unsigned char>(*p))) ++p;
      break;
    }
  }
  if (negative) value = -value;
  if (overflow || value > INT_MAX || value < INT_MIN) {
    // Too large for an int: say what the header carried rather than a wrapped number.
    const std::string digits(numberStart, p);
    reportError("Error in XmlRpcClient::readHeader: Invalid Content-length specified (%s).", digits.c_str());
    return false;
  }
  _contentLength = static_cast<int>(value);
  if (_contentLength <= 0) {
    reportError("Error in XmlRpcClient::readHeader: Invalid Content-length specified (%d).", _contentLength);
    return false;
  }
  return true;
}

bool XmlRpcClient::readResponse() {
  if (static_cast<int>(_response.size()) < _contentLength) {
    if (!XmlRpcSocket::nbRead(getfd(), _response, &_eof)) {
      reportError("Error in XmlRpcClient::readResponse: read error (%s).", XmlRpcSocket::getErrorMsg().c_str());
      return false;
    }
    if (static_cast<int>(_response.size()) < _contentLength) {
      if (_eof) {
        reportError("Error in XmlRpcClient::readResponse: EOF while reading response");
        return false;
      }
      return true;  // keep reading
    }
  }

  report(3, "XmlRpcClient::readResponse (read %d bytes)", static_cast<int>(_response.size()));
  report(5, "response:\n%s", _response.c_str());
  _connectionState = IDLE;
  return false;  // the answer is complete: stop watching
}

bool XmlRpcClient::parseResponse(XmlRpcValue& result) {
  switch (parseMethodResponse(_response, result, _isFault)) {
    case ResponseParse::kParsed:
      break;
    case ResponseParse::kNoMethodResponse:
      reportError("Error in XmlRpcClient::parseResponse: Invalid response - no methodResponse. Response:\n%s",
                  _response.c_str());
      return false;
    case ResponseParse::kNoParamOrFault:
      reportError("Error in XmlRpcClient::parseResponse: Invalid response - no param or fault tag. Response:\n%s",
                  _response.c_str());
      _response.clear();
      return false;
    case ResponseParse::kInvalidValue:
      reportError("Error in XmlRpcClient::parseResponse: Invalid response value. Response:\n%s", _response.c_str());
      _response.clear();
      return false;
  }
  _response.clear();
  return result.valid() && !_isFault;
}

void XmlRpcClient::close() {
  report(4, "XmlRpcClient::close: fd %d.", getfd());
  _connectionState = NO_CONNECTION;
  _disp.endWork();
  _disp.unwatchSource(this);
  XmlRpcSource::close();
}

}  // namespace Quillex
