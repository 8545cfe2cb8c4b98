#include "transport/xmlrpc_dispatch.h"

#include <chrono>
#include <cmath>
#include <unordered_set>
#include <vector>

#include "platform/socket.h"
#include "transport/xmlrpc_report.h"
#include "transport/xmlrpc_source.h"

namespace Quillex {

namespace {

constexpr unsigned kAllEvents = ~0u;

}  // namespace

double XmlRpcDispatch::now() {
  // Not the 32-bit tick count: a call waiting while it wraps would wait on.
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

void XmlRpcDispatch::watchSource(XmlRpcSource* source, unsigned eventMask) {
  _sources.push_back(MonitoredSource{_nextId++, source, eventMask});
}

void XmlRpcDispatch::unwatchSource(XmlRpcSource* source) {
  for (auto it = _sources.begin(); it != _sources.end(); ++it) {
    if (it->source == source) {
      _sources.erase(it);
      return;
    }
  }
}

std::list<XmlRpcDispatch::MonitoredSource>::iterator XmlRpcDispatch::findEntry(std::uint64_t id) {
  for (auto it = _sources.begin(); it != _sources.end(); ++it) {
    if (it->id == id) return it;
  }
  return _sources.end();
}

bool XmlRpcDispatch::work(double timeout) {
  _endTime = timeout < 0.0 ? -1.0 : now() + timeout;
  const int pollTimeout = timeout < 0.0 ? -1 : static_cast<int>(std::floor(timeout * 1000.0));

  std::vector<platform::PollEntry> polled;
  std::vector<std::uint64_t> polledIds;
  while (!_sources.empty()) {
    // One poll entry per socket: a socket listed twice is watched with the
    // mask of its first entry.
    polled.clear();
    polledIds.clear();
    std::unordered_set<int> seen;
    for (const MonitoredSource& entry : _sources) {
      const int fd = entry.source->getfd();
      if (entry.mask == 0 || fd < 0 || !seen.insert(fd).second) continue;
      polled.push_back(platform::PollEntry{fd, entry.mask, 0});
      polledIds.push_back(entry.id);
    }

    const int polledCount = platform::pollSockets(polled, pollTimeout);
    if (polledCount < 0) {
      // A signal that interrupts the wait is no failure of the call.
      if (platform::lastSocketError() == platform::kInterruptedError) continue;
      // The report keeps the text operators know, although the wait is a poll.
      reportError("Error in XmlRpcDispatch::work: error in select (%d).", polledCount);
      return false;
    }

    // Handle the ready sources in list order. Handling may add or remove
    // entries, so each one is looked up again by its id.
    for (std::size_t i = 0; i < polled.size(); ++i) {
      if (polled[i].ready == 0) continue;
      auto it = findEntry(polledIds[i]);
      if (it == _sources.end()) continue;
      XmlRpcSource* source = it->source;
      unsigned newMask = kAllEvents;
      if (polled[i].ready & ReadableEvent) newMask &= source->handleEvent(ReadableEvent);
      if (polled[i].ready & WritableEvent) newMask &= source->handleEvent(WritableEvent);
      if (polled[i].ready & Exception) newMask &= source->handleEvent(Exception);

      if (newMask == 0) {
        unwatchSource(source);
        if (!source->getKeepOpen()) source->close();
      } else if (newMask != kAllEvents) {
        auto handled = findEntry(polledIds[i]);
        if (handled != _sources.end()) handled->mask = newMask;
      }
    }

    // endWork() sets the end time to 0: an end asked for, not a time-out.
    if (_endTime == 0.0) break;
    if (_endTime > 0.0 && now() > _endTime) return !_sources.empty();
  }
  return false;
}

}  // namespace Quillex
