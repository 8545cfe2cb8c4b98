// The event loop: watches sources' sockets and hands each ready one its
// events until no source is left to watch or the time is up. One dispatcher
// belongs to one thread. It polls, so any descriptor number works.
#pragma once

#include <cstdint>
#include <list>

namespace Quillex {

class XmlRpcSource;

class XmlRpcDispatch {
 public:
  enum EventType : unsigned {
    ReadableEvent = 1,
    WritableEvent = 2,
    Exception = 4,
  };

  XmlRpcDispatch() = default;
  ~XmlRpcDispatch() = default;  // forgets the sources, does not close them
  XmlRpcDispatch(const XmlRpcDispatch&) = delete;
  XmlRpcDispatch& operator=(const XmlRpcDispatch&) = delete;

  // Starts watching `source` for the events in `eventMask` (appended last).
  void watchSource(XmlRpcSource* source, unsigned eventMask);
  // Stops watching: removes the first entry of `source`.
  void unwatchSource(XmlRpcSource* source);
  // Runs the loop until no entry is left or, unless `timeout` is negative,
  // `timeout` seconds have passed. Returns true iff the time ran out while
  // entries were still watched.
  bool work(double timeout);
  // Asks the loop to end after the current round (sets the end time to 0).
  void endWork() { _endTime = 0.0; }
  // Forgets every entry.
  void clear() { _sources.clear(); }

 private:
  struct MonitoredSource {
    std::uint64_t id;
    XmlRpcSource* source;
    unsigned mask;
  };

  static double now();
  std::list<MonitoredSource>::iterator findEntry(std::uint64_t id);

  std::list<MonitoredSource> _sources;
  std::uint64_t _nextId = 0;
  double _endTime = -1.0;
};

}  // namespace Quillex
