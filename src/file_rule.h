// The FILE rule: every plain file of the outgoing directory becomes a
// message to the rule's address and its service folder; received
// attachments are saved as files into the incoming directory.
#pragma once

#include "rule/rule.h"

namespace trasvik {

class FileRule : public Rule {
 public:
  unsigned send(unsigned count) override;
  int receive(Quillex::DravontMessage_s& message, const MessageInfo& info) override;
};

}  // namespace trasvik
