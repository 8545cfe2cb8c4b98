// Receiving for the UA rule comes with the kind's receive side; until then
// the rule leaves every message it is offered unconfirmed.
#include "trasvik/message_info.h"
#include "ua_rule.h"

namespace trasvik {

int UaRule::receive(Quillex::DravontMessage_s&, const MessageInfo&) { return receiveUnavailable(*this); }

}  // namespace trasvik
