#include <new>

#include "file_rule.h"
#include "msgrule/msg_rule.h"
#include "rule/rule.h"
#include "text/ascii.h"
#include "trasvik/ini_values.h"
#include "trasvik/notification.h"
#include "trasvik/session.h"
#include "ua_rule.h"

namespace trasvik {

namespace {

std::string sectionType(const std::string& section) { return iniText(section.c_str(), "type", 256, "UA"); }

std::string kindOfType(const std::string& type) {
  using text::equalsIgnoringAsciiCase;
  if (equalsIgnoringAsciiCase(type, "UA") || equalsIgnoringAsciiCase(type, "BBS")) return "UA";
  if (equalsIgnoringAsciiCase(type, "FILE")) return "FILE";
  if (equalsIgnoringAsciiCase(type, "RTS") || equalsIgnoringAsciiCase(type, "MSG")) return "MSG";
  return "";
}

std::unique_ptr<Rule> ruleOfType(const std::string& type) {
  const std::string kind = kindOfType(type);
  if (kind == "UA") return std::make_unique<UaRule>();
  if (kind == "FILE") return std::make_unique<FileRule>();
  if (kind == "MSG") return std::make_unique<MsgRule>();
  return nullptr;
}

}  // namespace

std::string ruleKindOf(const std::string& section) { return kindOfType(sectionType(section)); }

std::unique_ptr<Rule> createRule(const std::string& section, bool isMain) {
  const std::string type = sectionType(section);
  std::unique_ptr<Rule> rule;
  try {
    rule = ruleOfType(type);
  } catch (const std::bad_alloc&) {
    criticalAbort(__FILE__, __LINE__);
  }
  if (!rule) {
    reportCantContinue("Wrong rule type \"%s\" in section [%s]", type.c_str(), section.c_str());
    return nullptr;
  }
  if (!rule->ini(section, isMain)) return nullptr;
  return rule;
}

}  // namespace trasvik
