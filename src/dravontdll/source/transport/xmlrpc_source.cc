#include "transport/xmlrpc_source.h"

#include "transport/xmlrpc_report.h"
#include "transport/xmlrpc_socket.h"

namespace Quillex {

void XmlRpcSource::close() {
  if (_fd != -1) {
    report(2, "XmlRpcSource::close: closing socket %d.", _fd);
    XmlRpcSocket::close(_fd);
    report(2, "XmlRpcSource::close: done closing socket %d.", _fd);
    _fd = -1;
  }
  if (_deleteOnClose) {
    report(2, "XmlRpcSource::close: deleting this");
    _deleteOnClose = false;
    delete this;
  }
}

}  // namespace Quillex
