// Post tokens: exactly once between two gateways. A sender that crashes
// while the service stores its post cannot know whether the service took
// it, and posts the file again; only the receiver can tell the two copies
// apart. Every post therefore carries a token, a random 128-bit number in
// a custom header of the message, which the sender keeps in its state file
// with the post and reuses when it posts the same files again after a
// crash. A receiving gateway keeps the tokens of the messages it saved and
// confirms a message whose token it has saved from another message without
// saving it again. Messages without the header (from other senders) are
// handled as ever. Main thread only.
#pragma once

#include <string>

#include "dravont/dravontdll.h"
#include "trasvik/message_info.h"

namespace trasvik {

// The custom header that carries the token.
inline constexpr char kPostTokenHeader[] = "posttoken";

// A fresh token: 32 lower-case hexadecimal digits.
std::string newPostToken();

// The message's token, "" when it has none (or it cannot be read; a lost
// session throws ContextError).
std::string readPostToken(Quillex::DravontMessage_s& message);

// True, with the information record naming both messages and the files,
// when a message with the token of `info` was saved before under another
// message id and each of its attachments was among those saved under the
// token: this one is a second copy, to be confirmed and not saved. A
// message that repeats only some of them is saved in full, with a warning
// that names the earlier message.
bool isSecondCopy(const MessageInfo& info);

}  // namespace trasvik
