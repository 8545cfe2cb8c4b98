#include "trasvik/ini_lint.h"

#include <algorithm>
#include <map>
#include <utility>

#include "text/ascii.h"
#include "trasvik/session_start.h"

namespace trasvik {

namespace {

constexpr std::string_view kUtf8ByteOrderMark = "\xEF\xBB\xBF";

// The keys each kind of section is read for.
const std::vector<std::string_view> kHostKeys{"logfile", "loglevel", "logmaxsize", "logkeep"};
const std::vector<std::string_view> kGatewayKeys{
    "sleeptime",   "ncollect",         "switchafter",  "retryonerror",    "admin_mail_only", "sendparam",
    "folderparam", "recvparam",        "protectionlevel", "sent",         "error",           "outFileError",
    "loops",       "fileTimeout",      "RecvDNinfo",   "RecvDNprefix",    "DetachedSignaturePattern",
    "statefile",   "stoperrors",       "reconnect_tries", "reconnect_timeout", "srvcini",
    "lock_wait",   "post_token",       "alarm_waiting_minutes", "alarm_error_files", "alarm_stale_minutes"};
const std::vector<std::string_view> kRuleKeys{"type",  "in",       "out",     "subject",         "compatibility_option",
                                              "firm",  "coretype", "sent",    "addrfile",        "address",
                                              "protectionlevel",   "maxattachmentsize"};
// A URL's parameter section passes every key on to the service.
const std::vector<std::string_view> kUrlKeyKeys{"sendparam", "recvparam", "folderparam"};

struct Key {
  int line;
  std::string name;
  std::string value;
};

struct Section {
  int line;
  std::string name;           // as first written
  std::vector<Key> keys;      // the ones in force, in file order
};

struct Finding {
  int line;
  std::string text;
};

bool isBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view trimBlanks(std::string_view text) {
  while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && isBlank(text.back())) text.remove_suffix(1);
  return text;
}

std::string folded(std::string_view name) { return text::asciiLowered(name); }

std::string lineText(int line) { return "line " + std::to_string(line) + ": "; }

// The file as the host library takes it, with the findings that reading it
// gives: keys outside a section, repeated sections and keys.
std::vector<Section> readSections(std::string_view contents, std::vector<Finding>& findings) {
  if (contents.starts_with(kUtf8ByteOrderMark)) contents.remove_prefix(kUtf8ByteOrderMark.size());
  std::vector<Section> sections;
  std::map<std::string, std::size_t> byName;
  Section* current = nullptr;
  bool inRepeat = false;
  int number = 0;
  while (!contents.empty()) {
    ++number;
    const std::size_t end = contents.find('\n');
    std::string_view line = contents.substr(0, end);
    contents.remove_prefix(end == std::string_view::npos ? contents.size() : end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    line = trimBlanks(line);
    if (line.empty() || line.front() == ';' || line.front() == '#') continue;
    if (line.front() == '[') {
      const std::string_view inside = line.substr(1);
      const std::string name(trimBlanks(inside.substr(0, inside.find(']'))));
      const auto [where, added] = byName.try_emplace(folded(name), sections.size());
      if (added) {
        sections.push_back({number, name, {}});
        current = &sections.back();
      } else {
        findings.push_back({number, lineText(number) + "section [" + name + "] given again: the keys below are " +
                                        "ignored, those of line " + std::to_string(sections[where->second].line) +
                                        " are in force"});
        current = nullptr;
      }
      inRepeat = !added;
      continue;
    }
    const std::size_t equals = line.find('=');
    if (equals == std::string_view::npos) {
      findings.push_back({number, lineText(number) + "neither a section nor a key: ignored"});
      continue;
    }
    const std::string key(trimBlanks(line.substr(0, equals)));
    if (key.empty() || inRepeat) continue;
    if (current == nullptr) {
      findings.push_back({number, lineText(number) + "key " + key + " before the first section: ignored"});
      continue;
    }
    const auto same = std::find_if(current->keys.begin(), current->keys.end(),
                                   [&](const Key& k) { return folded(k.name) == folded(key); });
    if (same != current->keys.end()) {
      findings.push_back({number, lineText(number) + "[" + current->name + "]:" + key + " given again: the value of line " +
                                      std::to_string(same->line) + " is in force"});
      continue;
    }
    current->keys.push_back({number, key, std::string(trimBlanks(line.substr(equals + 1)))});
  }
  return sections;
}

const Section* findSection(const std::vector<Section>& sections, std::string_view name) {
  for (const Section& section : sections) {
    if (folded(section.name) == folded(name)) return &section;
  }
  return nullptr;
}

const Key* findKey(const Section* section, std::string_view name) {
  if (section == nullptr) return nullptr;
  for (const Key& key : section->keys) {
    if (folded(key.name) == folded(name)) return &key;
  }
  return nullptr;
}

std::string suggestion(std::string_view word, const std::vector<std::string_view>& known) {
  const std::string near = nearestName(word, known);
  return near.empty() ? "" : ": did you mean " + near + "?";
}

// Edits from one name to the other: a byte inserted, removed, changed, or
// two neighbours swapped ("mian" is one edit from "main").
std::size_t editDistance(std::string_view a, std::string_view b) {
  std::vector<std::vector<std::size_t>> d(a.size() + 1, std::vector<std::size_t>(b.size() + 1));
  for (std::size_t i = 0; i <= a.size(); ++i) d[i][0] = i;
  for (std::size_t j = 0; j <= b.size(); ++j) d[0][j] = j;
  for (std::size_t i = 1; i <= a.size(); ++i) {
    for (std::size_t j = 1; j <= b.size(); ++j) {
      d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + (a[i - 1] == b[j - 1] ? 0 : 1)});
      if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1]) d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
    }
  }
  return d[a.size()][b.size()];
}

}  // namespace

std::string nearestName(std::string_view word, const std::vector<std::string_view>& known) {
  // Two edits at most, and fewer than a third of the word: "sleeptme" is
  // near "sleeptime", "in" is near nothing but itself.
  const std::size_t limit = std::min<std::size_t>(2, word.size() / 3);
  std::string best;
  std::size_t bestDistance = limit + 1;
  for (const std::string_view name : known) {
    const std::size_t distance = editDistance(folded(word), folded(name));
    if (distance < bestDistance) {
      bestDistance = distance;
      best = name;
    }
  }
  return best;
}

std::vector<std::string> lintIniText(std::string_view contents) {
  std::vector<Finding> findings;
  const std::vector<Section> sections = readSections(contents, findings);

  // What each section is read as: by its own name, or named by a key.
  std::map<std::string, const std::vector<std::string_view>*> roles{
      {"qnsys", &kHostKeys}, {"trasvik", &kGatewayKeys}, {"rules", nullptr}};
  std::vector<std::string_view> usedNames{"qnsys", "trasvik", "rules"};
  auto use = [&](const Key& key, const std::vector<std::string_view>* keys, const char* what) {
    if (key.value.empty()) return;
    roles.try_emplace(folded(key.value), keys);
    usedNames.push_back(key.value);
    if (findSection(sections, key.value) == nullptr) {
      findings.push_back({key.line, lineText(key.line) + what + " [" + key.value + "] is not in the file"});
    }
  };
  const Section* rules = findSection(sections, "rules");
  if (rules != nullptr) {
    for (const Key& key : rules->keys) {
      if (folded(key.name) == "main" || isNumberedRuleKey(key.name)) {
        use(key, &kRuleKeys, "the rule's section");
      } else {
        findings.push_back({key.line, lineText(key.line) + "unknown key [rules]:" + key.name +
                                          (nearestName(key.name, {"main"}).empty()
                                               ? ": rules are named main and RULE followed by a number"
                                               : ": did you mean main?")});
      }
    }
  }
  for (const std::string_view urlKey : kUrlKeyKeys) {
    if (const Key* key = findKey(findSection(sections, "trasvik"), urlKey)) use(*key, nullptr, "the URL section");
  }

  for (const Section& section : sections) {
    const auto role = roles.find(folded(section.name));
    if (role == roles.end()) {
      findings.push_back({section.line, lineText(section.line) + "section [" + section.name +
                                            "] is not used by the gateway" + suggestion(section.name, usedNames)});
      continue;
    }
    const std::vector<std::string_view>* known = role->second;
    if (known == nullptr) continue;  // [rules], checked above, or a URL's parameters
    for (const Key& key : section.keys) {
      const bool isKnown = std::any_of(known->begin(), known->end(),
                                       [&](std::string_view name) { return folded(name) == folded(key.name); });
      if (!isKnown) {
        findings.push_back({key.line, lineText(key.line) + "unknown key [" + section.name + "]:" + key.name +
                                          suggestion(key.name, *known)});
      }
    }
  }

  std::stable_sort(findings.begin(), findings.end(), [](const Finding& a, const Finding& b) { return a.line < b.line; });
  std::vector<std::string> texts;
  for (Finding& finding : findings) texts.push_back(std::move(finding.text));
  return texts;
}

}  // namespace trasvik
