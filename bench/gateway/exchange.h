// One measured exchange: A's gateway sends files of one size, B's gateway
// receives and confirms them, both running at once against a fresh
// dravont-service, timed from their start to the last file's arrival.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "gateway/exchange_world.h"
#include "gateway/stats_service.h"

namespace gateway_bench {

struct ExchangeResult {
  double seconds = 0;     // from starting both gateways to the last file in B's in directory
  double senderSeconds = 0;  // from the same start until A's out directory held no file
  double firstArrivalSeconds = 0;  // from the same start to the first file in B's in directory
  ServiceCounts counts;   // the service's, from its start to its stop
  std::uint64_t senderFlushes = 0;    // A's gateway's durable flushes, from its start to its stop
  std::uint64_t receiverFlushes = 0;  // B's
  std::string error;      // "" when every file arrived whole and everything stopped in order
};

// Prepares `files` files of `bytes` bytes in A's out directory (not timed),
// A's rule sending one file per message, or with `maxAttachmentSize` not 0
// as many as fit into that many bytes (or, with `outgoing` kMsgFiles, ".msg"
// files of `bytes` bytes sent by a MSG rule; with kEnvelopePairs, envelope
// pairs with data files of `bytes` bytes sent by a UA rule and saved by
// one); starts the service, starts both gateways (loops=0, sleeptime 1), waits
// until B's in directory holds every file and A's out directory none, stops
// both gateways and then the service with SIGTERM, and checks every received
// file's size. Without `keepState` neither gateway keeps a state file.
ExchangeResult runExchange(int files, std::size_t bytes, std::uint32_t maxAttachmentSize = 0,
                           Outgoing outgoing = Outgoing::kPlainFiles, bool keepState = true);

}  // namespace gateway_bench
