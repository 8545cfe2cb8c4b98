// The MSG rule: ".msg" files that describe their own message, out and in.
#pragma once

#include "rule/rule.h"

namespace trasvik {

class MsgRule : public Rule {
 public:
  unsigned send(unsigned count) override;
  int receive(Quillex::DravontMessage_s& message, const MessageInfo& info) override;
};

}  // namespace trasvik
