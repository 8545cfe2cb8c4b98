// Receiving for the FILE rule: every attachment of a message becomes a file
// in the rule's incoming directory, named as the rule's `firm` mode says,
// with a certificate information file beside it when configured.
#pragma once

#include "dravont/dravontdll.h"

namespace trasvik {

class Rule;
struct MessageInfo;

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
