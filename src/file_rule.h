// The FILE rule: the plain files of the outgoing directory go, one per
// message or (batch mode) several per message, to the rule's address and
// its service folder; received
// attachments are saved as files into the incoming directory.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "rule/directory_scan.h"
#include "rule/outgoing_batch.h"
#include "rule/rule.h"

namespace trasvik {

struct FileSendLeg;  // file_rule.cc: how a leg reads and writes an entry, and its texts

class FileRule : public Rule {
 public:
  FileRule() = default;
  // Frees the address and folder handles ini() made.
  ~FileRule() override;

  bool ini(const std::string& section, bool isMain) override;
  // One send pass: each file (single mode) or each batch of files up to
  // maxattachmentsize bytes goes on the address leg and the folder leg,
  // then into the sent directory (or is deleted), or after its tries into
  // the error subdirectory with a notification. Throws kMoveFailure when a
  // file cannot be moved or deleted, ScriptError when the folder's or a
  // stream's name cannot be read, std::runtime_error when a stream's length
  // cannot be read, ContextError when the session is lost.
  unsigned send(unsigned count) override;
  int receive(Quillex::DravontMessage_s& message, const MessageInfo& info) override;

  // 0: one file per message (single mode). Otherwise batch mode: the
  // largest file sent, and the largest sum of file sizes of one message.
  std::uint32_t maxattachmentsize = 0;

 private:
  bool makeHandles(const std::string& section);
  bool makeErrorSubdirectory(const std::string& section);

  bool addressLegApplies();
  bool folderLegApplies();
  // Why neither leg applies.
  std::string noLegReason();
  // False when no file can leave the directory in this pass: no leg
  // applies and the rule keeps no sent copy.
  bool warnWithoutLegs();

  unsigned sendSingle(std::vector<FileEntry>& entries, unsigned count);
  unsigned sendBatches(std::vector<FileEntry>& entries, unsigned count);
  // Each leg sends the batch's files that still need it in one message;
  // false when that message cannot be made: the pass ends.
  bool sendAddressLeg(OutgoingBatch& batch, const FileSendLeg& leg);
  bool sendFolderLeg(OutgoingBatch& batch, const FileSendLeg& leg, std::string& folderName);
  void attachAndPost(Quillex::DravontMessage_s& message, OutgoingBatch& batch, const FileSendLeg& leg,
                     Quillex::DravontURL& url, const char* coretype);
  std::string readFolderName();
  void writeSummaryRecords(OutgoingBatch& batch, const std::string& folderName);
  // The name the service gives the file's stream, for the sent directory.
  std::string streamFileName(OutgoingFile& file);
  // Where the file goes after this sweep's legs, under its own name or
  // (nameFromService) its stream's; releases its stream. Returns the count
  // increased for it.
  unsigned dispose(OutgoingFile& file, bool nameFromService, unsigned count);

  Quillex::DravontAddress_s address_{};
  Quillex::EDIFolder_s folder_{};
  bool addressMade_ = false;
  bool folderMade_ = false;
  std::string errorSubdirectory_;
};

}  // namespace trasvik
