// Which names of its outgoing directory each kind of rule sends: the
// patterns of their scans, for the rules and for /status alike.
#pragma once

#include <string>

namespace trasvik {

// The envelope of a UA rule's pair; its data file is the base + ".001".
inline constexpr char kEnvelopeExtension[] = ".env";

// FILE rules send every file.
inline std::string fileRulePattern() { return "*"; }
// MSG rules send ".msg" files; compatibility bit 1 takes five-character
// names only.
inline std::string msgRulePattern(bool compatibilityFlag1) { return compatibilityFlag1 ? "?????.msg" : "*.msg"; }
// UA rules send envelopes; compatibility bit 1 takes "bbs" names of eight
// characters only.
inline std::string uaRulePattern(bool compatibilityFlag1) {
  return (compatibilityFlag1 ? std::string("bbs?????") : std::string("*")) + kEnvelopeExtension;
}

}  // namespace trasvik
