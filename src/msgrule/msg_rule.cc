#include "msgrule/msg_rule.h"

namespace trasvik {

// Sending and receiving come with the kind's own pass; until then the rule
// sends nothing and leaves every message it is offered unconfirmed.
unsigned MsgRule::send(unsigned count) { return count; }

int MsgRule::receive(Quillex::DravontMessage_s&, const MessageInfo&) { return receiveUnavailable(*this); }

}  // namespace trasvik
