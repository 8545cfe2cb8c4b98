// Base of everything in the transport that owns a socket and is driven by
// the dispatcher's events.
#pragma once

namespace Quillex {

class XmlRpcSource {
 public:
  explicit XmlRpcSource(int fd = -1, bool deleteOnClose = false) : _fd(fd), _deleteOnClose(deleteOnClose) {}
  virtual ~XmlRpcSource() = default;
  XmlRpcSource(const XmlRpcSource&) = delete;
  XmlRpcSource& operator=(const XmlRpcSource&) = delete;

  int getfd() const { return _fd; }
  void setfd(int fd) { _fd = fd; }
  // A persistent source stays open when the dispatcher stops watching it.
  bool getKeepOpen() const { return _keepOpen; }
  void setKeepOpen(bool keepOpen = true) { _keepOpen = keepOpen; }

  // Closes the socket; deletes the object too when it was made self-deleting.
  virtual void close();
  // Handles the events in `eventMask` (1 readable, 2 writable, 4 exceptional)
  // and returns the mask to watch next; 0 ends the watch.
  virtual unsigned handleEvent(unsigned eventMask) = 0;

 private:
  int _fd;
  bool _deleteOnClose;
  bool _keepOpen = false;
};

}  // namespace Quillex
