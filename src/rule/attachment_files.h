// Receiving attachments into a rule's incoming directory: every attachment
// of a message becomes a file, named as the rule's kind and `firm` mode say,
// with a certificate information file beside it when configured. The FILE
// rule saves the bytes alone (saveAttachmentsAsFiles); other kinds give
// their own layout (saveAttachments).
#pragma once

#include <cstddef>
#include <ctime>
#include <functional>
#include <string>

#include "dravont/dravontdll.h"
#include "rule/delivered_file.h"
#include "rule/received_names.h"

namespace trasvik {

class Rule;
struct MessageInfo;
struct AttachmentInfo;

// How a rule kind lays out received attachments in its incoming directory.
struct AttachmentLayout {
  // The name attachment `index` (0-based) is saved under; `taken` says
  // which names are in use, those chosen for this message included. A name
  // given to `taken` may hold the wildcards '*' and '?' (as fileExists).
  std::function<std::string(std::size_t index, const NameTaken& taken)> chooseName;
  // Writes what precedes the attachment's bytes in its file; false when it
  // was not written whole. Empty: the file holds the bytes alone.
  std::function<bool(Quillex::DravontStream_s& stream, std::size_t index)> writeHead;
  // The name of the information file of an attachment saved as `savedName`.
  std::function<std::string(const std::string& savedName)> informationName;
  // Reports a file that cannot be created or written whole, with one of the
  // two texts below (each a format of the file's path and the reason).
  FatalReport report = nullptr;
  const char* cantCreate = "Can't open file \"%s\" for writing, error: \"%s\"";
  const char* cantWrite = "Error writing to file \"%s\": \"%s\"";
  // For kinds that save each attachment as a pair of files (the UA kind's
  // data file and envelope): writes the second file, which is created only
  // once the first is whole; false when it was not written whole. It is put
  // in place right after the first, under exactly companionName of the
  // first one's final name; when that fails, the first is removed again, so
  // a pair appears whole or not at all. Empty: one file per attachment.
  std::function<bool(Quillex::DravontStream_s& stream, std::size_t index)> writeCompanion;
  std::function<std::string(const std::string& savedName)> companionName;
};

// Saves the attachments of `message` into rule.in as `layout` says, with
// the guarantees of saveAttachmentsAsFiles; failures go to layout.report.
int saveAttachments(Rule& rule, Quillex::DravontMessage_s& message, const MessageInfo& info,
                    const AttachmentLayout& layout);

// The name a FILE rule saves an attachment from `sender` under, as its
// `firm` mode says: the attachment's own name (made safe), a counter name,
// or a dated name with the UTC date `today`. May throw ScriptError (firm 1).
std::string receivedFileName(Rule& rule, const std::string& sender, const AttachmentInfo& attachment,
                             const std::tm& today, const NameTaken& taken);

// Saves the attachments of `message` (described by `info`) into rule.in.
// They appear together or not at all: each is written under a hidden
// temporary name, and only when every one was saved whole are they renamed
// to their names, never replacing a file. With "admin_mail_only" names are
// chosen (counters advance) but nothing is written. Returns 0 when every
// attachment was handled (also for none); 2 after a fatal record and a
// can't-continue notification when one cannot be created, written whole or
// renamed: nothing of the message is left then but files already renamed,
// and the message stays unconfirmed. May throw ContextError and
// ScriptError.
int saveAttachmentsAsFiles(Rule& rule, Quillex::DravontMessage_s& message, const MessageInfo& info);

}  // namespace trasvik
