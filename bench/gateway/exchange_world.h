// The files and settings two gateways exchange files in: participant A
// (sender) and participant B (receiver) of one service, each with its own
// trasvik INI file, directories and log, and a store whose address book
// knows both. Everything lives in a temporary directory removed with the
// object. Not thread-safe.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "support/temp_directory.h"

namespace gateway_bench {

// What A's out directory holds: plain files that a FILE rule sends to B,
// ".msg" files naming B that a MSG rule sends, or envelope pairs (".env"
// naming B, ".001" data file) that a UA rule sends and B's UA rule saves
// as pairs again.
enum class Outgoing { kPlainFiles, kMsgFiles, kEnvelopePairs };

class ExchangeWorld {
 public:
  // Writes the store's address book, the participants' settings and the two
  // gateways' INI files: A's rule sends every file of its out directory to
  // B (with maxattachmentsize `maxAttachmentSize` when it is not 0: several
  // files per message), B's main rule, a FILE rule, saves what arrives into
  // its in directory. Without `keepState` the gateways keep no state file
  // (the cost of delivering once across crashes, measured side by side).
  explicit ExchangeWorld(std::uint32_t maxAttachmentSize = 0, Outgoing outgoing = Outgoing::kPlainFiles,
                         bool keepState = true);

  std::string store() const { return directory_.file("store"); }
  std::string serviceErrors() const { return directory_.file("service.err"); }
  std::string gatewayIni(char participant) const;
  std::string outgoing() const { return directory_.file("a/out"); }
  std::string incoming() const { return directory_.file("b/in"); }
  std::string gatewayLog(char participant) const;

  // Writes `count` files of `bytes` bytes each, with different contents,
  // into A's out directory, each flushed to disk so that writing them back
  // costs the measured run nothing. A ".msg" file's header counts in its
  // bytes; an envelope pair's data file has `bytes` bytes. Returns "" or why
  // not.
  std::string writeOutgoingFiles(int count, std::size_t bytes) const;
  // The size of each file B saves from an outgoing file of `bytes` bytes:
  // a ".msg" file's body only; an envelope pair's data file (its envelope
  // is not counted).
  std::size_t receivedBytes(std::size_t bytes) const;
  // The number of files B saves from `count` outgoing ones: two per pair.
  int receivedFiles(int count) const { return outgoing_ == Outgoing::kEnvelopePairs ? 2 * count : count; }

 private:
  testing_support::TempDirectory directory_;
  Outgoing outgoing_;
};

// The number of files the gateway would send or has saved: regular files
// whose names do not begin with '.' (the gateway receives under hidden names).
int countVisibleFiles(const std::string& directory);

}  // namespace gateway_bench
