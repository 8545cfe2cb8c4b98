#include "transport/xml_scan.h"

#include <array>

namespace Quillex {

namespace {

struct Entity {
  char character;
  std::string_view name;  // the text after "&", including the ";"
};

// Tried in this order after an "&".
constexpr std::array<Entity, 5> kEntities = {{
    {'<', "lt;"},
    {'>', "gt;"},
    {'&', "amp;"},
    {'\'', "apos;"},
    {'"', "quot;"},
}};

// The entity text for a byte that needs escaping, or empty.
constexpr std::string_view escapeFor(char c) {
  switch (c) {
    case '<': return "&lt;";
    case '>': return "&gt;";
    case '&': return "&amp;";
    case '\'': return "&apos;";
    case '"': return "&quot;";
    default: return {};
  }
}

std::size_t skipSpace(std::string_view text, std::size_t position) {
  while (position < text.size() && isXmlSpace(text[position])) ++position;
  return position;
}

}  // namespace

bool probeTag(std::string_view tag, std::string_view text, std::size_t& position) {
  if (position >= text.size()) return false;
  const std::size_t start = skipSpace(text, position);
  if (text.substr(start).starts_with(tag)) {
    position = start + tag.size();
    return true;
  }
  return false;
}

bool seekTag(std::string_view tag, std::string_view text, std::size_t& position) {
  if (position >= text.size()) return false;
  const std::size_t found = text.find(tag, position);
  if (found == std::string_view::npos) return false;
  position = found + tag.size();
  return true;
}

std::string_view readNextTagView(std::string_view text, std::size_t& position) {
  if (position >= text.size()) return {};
  const std::size_t start = skipSpace(text, position);
  if (start >= text.size() || text[start] != '<') return {};
  const std::size_t close = text.find('>', start);
  const std::size_t end = close == std::string_view::npos ? text.size() : close + 1;
  position = end;
  return text.substr(start, end - start);
}

std::string readNextTag(std::string_view text, std::size_t& position) {
  return std::string(readNextTagView(text, position));
}

std::string_view elementTextView(std::string_view tag, std::string_view text, std::size_t& position) {
  if (position >= text.size() || tag.empty()) return {};
  const std::size_t open = text.find(tag, position);
  if (open == std::string_view::npos) return {};
  const std::size_t contentStart = open + tag.size();

  // The end tag is the tag with "</" in place of its leading "<".
  std::string endTag;
  endTag.reserve(tag.size() + 1);
  endTag.append("</").append(tag.substr(1));
  const std::size_t close = text.find(endTag, contentStart);
  if (close == std::string_view::npos) return {};

  position = close + endTag.size();
  return text.substr(contentStart, close - contentStart);
}

std::string elementText(std::string_view tag, std::string_view text, std::size_t& position) {
  return std::string(elementTextView(tag, text, position));
}

void appendEscapedXml(std::string& out, std::string_view raw) {
  std::size_t runStart = 0;
  for (std::size_t i = 0; i < raw.size(); ++i) {
    const std::string_view entity = escapeFor(raw[i]);
    if (entity.empty()) continue;
    out.append(raw.data() + runStart, i - runStart);
    out.append(entity);
    runStart = i + 1;
  }
  out.append(raw.data() + runStart, raw.size() - runStart);
}

std::string escapeXml(std::string_view raw) {
  std::string out;
  out.reserve(raw.size());
  appendEscapedXml(out, raw);
  return out;
}

std::string unescapeXml(std::string_view encoded) {
  std::size_t amp = encoded.find('&');
  if (amp == std::string_view::npos) return std::string(encoded);

  std::string out;
  out.reserve(encoded.size());
  std::size_t runStart = 0;
  while (amp != std::string_view::npos) {
    out.append(encoded.data() + runStart, amp - runStart);
    const std::string_view rest = encoded.substr(amp + 1);
    runStart = amp + 1;
    bool replaced = false;
    for (const Entity& entity : kEntities) {
      if (rest.starts_with(entity.name)) {
        out.push_back(entity.character);
        runStart += entity.name.size();
        replaced = true;
        break;
      }
    }
    if (!replaced) out.push_back('&');
    amp = encoded.find('&', runStart);
  }
  out.append(encoded.data() + runStart, encoded.size() - runStart);
  return out;
}

}  // namespace Quillex
