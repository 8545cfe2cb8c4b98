// The FILE rule: every plain file of the outgoing directory becomes a
// message to the rule's address and its service folder; received
// attachments are saved as files into the incoming directory.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "rule/directory_scan.h"
#include "rule/rule.h"

namespace trasvik {

class FileRule : public Rule {
 public:
  FileRule() = default;
  // Frees the address and folder handles ini() made.
  ~FileRule() override;

  bool ini(const std::string& section, bool isMain) override;
  // One send pass: each file goes on the address leg and the folder leg,
  // then into the sent directory (or is deleted), or after its tries into
  // the error subdirectory with a notification. Throws kMoveFailure when a
  // file cannot be moved or deleted, ScriptError when the folder's name
  // cannot be read, ContextError when the session is lost.
  unsigned send(unsigned count) override;
  int receive(Quillex::DravontMessage_s& message, const MessageInfo& info) override;

  // 0: one file per message. Otherwise the largest file sent, and the
  // largest sum of file sizes of one message.
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
  // Each leg returns false when its message cannot be made: the pass ends.
  bool sendAddressLeg(FileEntry& entry, Quillex::DravontStream_s& stream, const std::string& path);
  bool sendFolderLeg(FileEntry& entry, Quillex::DravontStream_s& stream, const std::string& path, unsigned& count,
                     std::string& folderName);
  std::string readFolderName();
  // Where the file goes after this sweep's legs (sentName: its name in the
  // sent directory); returns the count increased for it.
  unsigned dispose(const FileEntry& entry, const std::string& path, const std::string& sentName, unsigned count);

  Quillex::DravontAddress_s address_{};
  Quillex::EDIFolder_s folder_{};
  bool addressMade_ = false;
  bool folderMade_ = false;
  std::string errorSubdirectory_;
};

}  // namespace trasvik
