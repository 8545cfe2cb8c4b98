// The UA rule: ".env" envelopes and their ".001" data files out and in.
#pragma once

#include "rule/rule.h"

namespace trasvik {

class UaRule : public Rule {
 public:
  unsigned send(unsigned count) override;
  int receive(Quillex::DravontMessage_s& message, const MessageInfo& info) override;
};

}  // namespace trasvik
