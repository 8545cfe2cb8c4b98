#include "file_rule.h"

#include "platform/path.h"
#include "rule/attachment_files.h"
#include "rule/delivered_file.h"
#include "rule/directories.h"
#include "rule/file_moves.h"
#include "rule/outgoing_stream.h"
#include "rule/send_candidates.h"
#include "trasvik/gateway_log.h"
#include "trasvik/ini_values.h"
#include "trasvik/library_text.h"
#include "trasvik/notification.h"
#include "trasvik/script_bridge.h"
#include "trasvik/script_texts.h"
#include "trasvik/session.h"
#include "trasvik/settings.h"
#include "trasvik/text_format.h"

namespace trasvik {

namespace {

std::string lastLibraryError() {
  const char* text = Quillex::GetLastDravontError();
  return text != nullptr ? text : "";
}

// Posts the message; false with the failure text in `error`.
bool post(Quillex::DravontMessage_s& message, Quillex::DravontURL& url, std::string& error) {
  LibraryText messageId;
  if (Quillex::PostMessageTo(&message, &url, messageId.out()) == 0) return true;
  error = lastError();
  return false;
}

}  // namespace

FileRule::~FileRule() {
  if (addressMade_) Quillex::FreeDravontAddress(&address_);
  if (folderMade_) Quillex::FreeEDIFolder(&folder_);
}

bool FileRule::ini(const std::string& section, bool mainRule) {
  if (!Rule::ini(section, mainRule)) return false;
  if (!out.empty()) {
    if (addresses.empty()) {
      reportCantContinue("Rule:ini(), This rule must have address ([%s]:address)", section.c_str());
      return false;
    }
    if (!makeHandles(section) || !makeErrorSubdirectory(section)) return false;
  }
  maxattachmentsize = static_cast<std::uint32_t>(iniInteger(section.c_str(), "maxattachmentsize", 0));
  return true;
}

// The first configured address serves both legs: as a service address and
// as a service folder. It must be at least one of them.
bool FileRule::makeHandles(const std::string& section) {
  const std::string options = "({subject:\"" + escapeScriptText(subject) + "\"})";
  std::string addressError;
  const bool addressFailed = makeAddressHandle(addresses.front(), address_, options.c_str()) != 0;
  if (addressFailed) {
    addressError = lastLibraryError();
    Quillex::InitDravontAddressByHandle(&address_, serviceContext(), 0);
  }
  addressMade_ = true;

  std::string folderError;
  const bool folderFailed = makeFolderHandle(folders.front(), folder_) != 0;
  if (folderFailed) {
    folderError = lastLibraryError();
    Quillex::InitEDIFolderByHandle(&folder_, serviceContext(), 0);
  }
  folderMade_ = true;

  if (!addressFailed || !folderFailed) return true;
  GATEWAY_FATAL("Can't init Dravont address, %s, section [%s]", addressError.c_str(), section.c_str());
  GATEWAY_FATAL("Can't init EDIFolder folder, %s, section [%s]", folderError.c_str(), section.c_str());
  postNotification("Trasvik can't continue - Can't init Dravont address with error \"" + addressError +
                   "\" and EDI folder with error \"" + folderError + "\", section [" + section + "]");
  return false;
}

bool FileRule::makeErrorSubdirectory(const std::string& section) {
  std::string subdirectory = settings().outFileError;
  if (!subdirectory.empty() && (subdirectory[0] == '/' || subdirectory[0] == '\\')) subdirectory.erase(0, 1);
  errorSubdirectory_ = platform::withTrailingSeparator(out) + subdirectory;
  if (makeDirectories(errorSubdirectory_)) return true;
  reportCantContinue("Rule:ini(), Can't verify and create error directory ([%s]:outDirError \"%s\")", section.c_str(),
                     errorSubdirectory_.c_str());
  return false;
}

// Detached signatures (levels 5 and 6) travel to folders only.
bool FileRule::addressLegApplies() {
  return Quillex::GetDravontAddressHandle(&address_) != 0 && !settings().adminMailOnly && protectionLevel != 5 &&
         protectionLevel != 6;
}

bool FileRule::folderLegApplies() {
  return Quillex::GetEDIFolderHandle(&folder_) != 0 && Quillex::GetDravontURLHandle(&settings().folderUrl) != 0;
}

std::string FileRule::noLegReason() {
  std::string reason;
  if (Quillex::GetDravontAddressHandle(&address_) == 0) {
    reason = "the address is no service address";
  } else if (settings().adminMailOnly) {
    reason = "[trasvik]:admin_mail_only is set";
  } else {
    reason = formatText("protection level %d is detached, for folders only", protectionLevel);
  }
  if (Quillex::GetEDIFolderHandle(&folder_) == 0) return reason + "; the address is no service folder";
  return reason + "; no folder URL ([trasvik]:folderparam)";
}

bool FileRule::warnWithoutLegs() {
  if (addressLegApplies() || folderLegApplies()) return true;
  const std::string reason = noLegReason();
  // A file that was not sent is never deleted: without a sent directory it
  // stays where it is.
  if (sent.empty()) {
    GATEWAY_WARNING("Rule [%s]: nothing can be sent (%s), files stay in the output directory", name.c_str(),
                    reason.c_str());
    return false;
  }
  GATEWAY_WARNING("Rule [%s]: nothing can be sent (%s), files are moved to the sent directory unsent", name.c_str(),
                  reason.c_str());
  return true;
}

unsigned FileRule::send(unsigned count) {
  if (out.empty()) return count;
  std::vector<FileEntry> entries = chooseCandidates(out, maxattachmentsize);
  if (entries.empty()) return count;
  if (maxattachmentsize != 0) {
    GATEWAY_WARNING("Rule [%s]: batch mode (maxattachmentsize) is not available in this build; files wait",
                    name.c_str());
    return count;
  }
  if (!warnWithoutLegs()) return count;
  return sendSingle(entries, count);
}

// One file per message. The entries are walked in sweeps until each is
// finished; a failed leg is tried again in the next sweep.
unsigned FileRule::sendSingle(std::vector<FileEntry>& entries, unsigned count) {
  while (!entries.empty()) {
    for (std::size_t i = 0; i < entries.size();) {
      if (count >= settings().switchafter) return count;
      FileEntry& entry = entries[i];
      const std::string path = out + entry.name;
      Quillex::DravontStream_s stream{};
      if (!openOutgoingFile(path, stream)) {
        entries.erase(entries.begin() + static_cast<std::ptrdiff_t>(i));
        continue;
      }
      std::string folderName;
      if (!sendAddressLeg(entry, stream, path) || !sendFolderLeg(entry, stream, path, count, folderName)) {
        Quillex::FreeDravontStream(&stream);
        return count;
      }
      if (entry.addressDone && entry.addressAttached) {
        GATEWAY_INFO("Rule [%s]: File \"%s\" sent, to: \"%s\", attachment name: \"%s\"", name.c_str(), path.c_str(),
                     addressText.c_str(), entry.name.c_str());
      }
      if (entry.folderDone && entry.folderAttached) {
        GATEWAY_INFO("Rule [%s]: File \"%s\" moved, to: \"%s\"", name.c_str(), path.c_str(), folderName.c_str());
      }
      Quillex::FreeDravontStream(&stream);
      count = dispose(entry, path, entry.name, count);
      ++i;
    }
    dropFinished(entries);
  }
  return count;
}

bool FileRule::sendAddressLeg(FileEntry& entry, Quillex::DravontStream_s& stream, const std::string& path) {
  // "Attached" speaks of this sweep's message only.
  entry.addressAttached = false;
  if (!addressLegApplies()) {
    entry.addressDone = true;
    return true;
  }
  if (entry.addressTries <= 0 || entry.addressDone) return true;

  Quillex::DravontMessage_s message{};
  if (Quillex::InitDravontMessage(&message, serviceContext(), &address_, "") != 0) {
    const std::string error = lastError();
    GATEWAY_ERROR("Can't init Dravont message, %s", error.c_str());
    return false;
  }
  if (Quillex::DravontAttachStreamToMessage(&message, &stream,
                                            static_cast<Quillex::ProtectionLevel_t>(protectionLevel)) != 0) {
    const std::string error = lastError();
    GATEWAY_ERROR("Can't attach stream to email message, file: \"%s\", %s", path.c_str(), error.c_str());
    entry.addressError = "Can't attach stream to email message, file name: \"" + path + "\", " + error;
    --entry.addressTries;
  } else {
    entry.addressAttached = true;
    Quillex::SetDravontMessageCustomHeader(&message, "coretype", coretypeText.c_str());
    std::string error;
    if (post(message, settings().sendUrl, error)) {
      entry.addressDone = true;
    } else {
      GATEWAY_ERROR("Can't post email message: %s", error.c_str());
      --entry.addressTries;
      entry.addressError = "Can't post email message : " + error;
      entry.addressAttached = false;
    }
  }
  Quillex::FreeDravontMessage(&message);
  return true;
}

bool FileRule::sendFolderLeg(FileEntry& entry, Quillex::DravontStream_s& stream, const std::string& path,
                             unsigned& count, std::string& folderName) {
  entry.folderAttached = false;
  if (!folderLegApplies() || entry.folderTries <= 0 || entry.folderDone) {
    entry.folderDone = true;
    return true;
  }

  Quillex::DravontMessage_s message{};
  if (Quillex::InitDravontMessage2Folder(&message, serviceContext(), &folder_, "") != 0) {
    const std::string error = lastError();
    GATEWAY_ERROR("Can't init Dravont message, %s", error.c_str());
    return false;
  }
  folderName = readFolderName();
  if (Quillex::DravontAttachStreamToMessage(&message, &stream,
                                            static_cast<Quillex::ProtectionLevel_t>(protectionLevel)) != 0) {
    const std::string error = lastLibraryError();
    GATEWAY_ERROR("Can't attach stream to folder message, file: \"%s\", %s", path.c_str(), error.c_str());
    entry.folderError = "Can't attach stream to folder message, file name: \"" + path + "\", " + error;
    --entry.folderTries;
  } else {
    // Folder messages carry no "coretype" header.
    entry.folderAttached = true;
    std::string error;
    if (post(message, settings().folderUrl, error)) {
      entry.folderDone = true;
      ++count;
    } else {
      GATEWAY_ERROR("Can't post message to folder: %s", error.c_str());
      --entry.folderTries;
      entry.folderError = "Can't post message to folder: " + error;
      entry.folderAttached = false;
    }
  }
  Quillex::FreeDravontMessage(&message);
  return true;
}

std::string FileRule::readFolderName() {
  LibraryText result;
  const unsigned handle = static_cast<unsigned>(Quillex::GetEDIFolderHandle(&folder_));
  if (runScript(formatText(scripts::kFolderName, handle), result)) return result.c_str();
  const std::string error = lastError();
  reportCantContinue("Can't get folder name with error \"%s\"", error.c_str());
  throw ScriptError(error);
}

unsigned FileRule::dispose(const FileEntry& entry, const std::string& path, const std::string& sentName,
                           unsigned count) {
  if (entry.addressDone && entry.folderDone) {
    if (sent.empty()) {
      deleteDeliveredFile(path, reportCantContinue);
    } else {
      moveFile(path, sent, sentName);
    }
    return count + 1;
  }
  if (!entryFinished(entry)) return count;  // waits for the next sweep
  std::string text = entry.addressError;
  if (!entry.addressError.empty() && !entry.folderError.empty()) text += "\r\n";
  text += entry.folderError;
  postNotification(text);
  moveFileTo(path, errorSubdirectory_);
  return entry.addressDone || entry.folderDone ? count + 1 : count;
}

// Every attachment becomes a file in the incoming directory.
int FileRule::receive(Quillex::DravontMessage_s& message, const MessageInfo& info) {
  return saveAttachmentsAsFiles(*this, message, info);
}

}  // namespace trasvik
