// One XML-RPC call at a time over HTTP/1.1 to a service on this machine, on
// a connection kept open between calls. A client belongs to one thread; the
// busy flag only refuses re-entrant use on that thread.
//
// The socket stays blocking and every readable event costs exactly one
// receive. A call waits until the service answers, closes the connection or
// a socket error occurs, or the answer time-out (none unless set) passes:
// then the call fails and the connection is closed, so that a service that
// hangs, or a connection whose end never shows, does not hold the caller
// for ever. When the service has dropped an idle connection, the call is
// retried once on a new one.
// Causes of failure go to the error hook (xmlrpc_report.h); execute() only
// says whether the call succeeded.
#pragma once

#include <string>

#include "transport/xmlrpc_dispatch.h"
#include "transport/xmlrpc_source.h"
#include "transport/xmlrpc_value.h"

namespace Quillex {

class XmlRpcClient : public XmlRpcSource {
 public:
  // The states of one call, as printed in log lines.
  enum ClientConnectionState {
    NO_CONNECTION = 0,
    CONNECTING = 1,  // never entered: connects block
    WRITE_REQUEST = 2,
    READ_HEADER = 3,
    READ_RESPONSE = 4,
    IDLE = 5,
  };

  XmlRpcClient(const char* host, int port, const char* uri);
  // Releases the texts and the dispatcher's entries and closes an open
  // connection (a thread that ends must not leave its socket behind).
  ~XmlRpcClient() override;

  // Calls `method` with `params` (an array: one parameter per element; any
  // other valid value: one parameter; invalid: no parameter list). On true,
  // `result` holds the answer's value; on false the call failed (a fault
  // answer leaves the fault value in `result`).
  bool execute(const char* method, const XmlRpcValue& params, XmlRpcValue& result);

  bool isFault() const { return _isFault; }

  // How long a call may wait for its answer, in milliseconds, counted from
  // the start of its wait on the connection; 0 or less waits without limit.
  void setAnswerTimeout(int milliseconds) { _answerTimeoutMilliseconds = milliseconds; }

  void close() override;
  unsigned handleEvent(unsigned eventType) override;

 protected:
  virtual bool doConnect();
  virtual bool prepareConnection();
  virtual bool generateRequest(const char* method, const XmlRpcValue& params);
  virtual std::string buildHeader(const std::string& body);
  virtual bool writeRequest();
  virtual bool readHeader();
  virtual bool readResponse();
  virtual bool parseResponse(XmlRpcValue& result);

 private:
  // Reads the Content-length value at `position` of the header text the way
  // the C library's atoi() does, but refuses values that do not fit an int.
  bool parseContentLength(std::size_t position);

  int _connectionState = NO_CONNECTION;
  std::string _host;
  std::string _uri;
  int _port;
  std::string _request;
  std::string _header;
  std::string _response;
  int _sendAttempts = 0;
  int _bytesWritten = 0;
  bool _executing = false;
  bool _eof = false;
  bool _isFault = false;
  int _contentLength = 0;
  int _answerTimeoutMilliseconds = 0;
  XmlRpcDispatch _disp;
};

}  // namespace Quillex
