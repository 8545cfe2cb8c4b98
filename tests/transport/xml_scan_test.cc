#include "transport/xml_scan.h"

#include <gtest/gtest.h>

namespace Quillex {
namespace {

TEST(XmlScanTest, ProbeTagSkipsWhitespaceOnlyWhenTheTagFollows) {
  const std::string_view text = " \t\r\n<value><i4>";
  std::size_t position = 0;
  EXPECT_FALSE(probeTag("<i4>", text, position));
  EXPECT_EQ(position, 0u);
  EXPECT_TRUE(probeTag("<value>", text, position));
  EXPECT_EQ(position, 11u);
  EXPECT_TRUE(probeTag("<i4>", text, position));
  EXPECT_EQ(position, text.size());
  EXPECT_FALSE(probeTag("", text, position));  // at the end: always false
}

TEST(XmlScanTest, SeekTagSearchesFromThePosition) {
  const std::string_view text = "<a>x</a><a>y</a>";
  std::size_t position = 1;
  EXPECT_TRUE(seekTag("<a>", text, position));
  EXPECT_EQ(position, 11u);
  EXPECT_FALSE(seekTag("<b>", text, position));
  EXPECT_EQ(position, 11u);
  position = text.size();
  EXPECT_FALSE(seekTag("</a>", text, position));
}

TEST(XmlScanTest, ReadNextTagTakesOneTagOrNothing) {
  std::size_t position = 0;
  EXPECT_EQ(readNextTag("  <i4>12", position), "<i4>");
  EXPECT_EQ(position, 6u);

  position = 0;
  EXPECT_EQ(readNextTag("  text<b>", position), "");
  EXPECT_EQ(position, 0u);

  position = 0;
  EXPECT_EQ(readNextTag("   ", position), "");
  EXPECT_EQ(position, 0u);

  position = 1;
  EXPECT_EQ(readNextTag("x<unterminated", position), "<unterminated");
  EXPECT_EQ(position, 14u);
  EXPECT_EQ(readNextTag("x<unterminated", position), "");
}

TEST(XmlScanTest, ElementTextNeedsBothTags) {
  const std::string_view text = "<member><name>x&amp;y</name><value>";
  std::size_t position = 0;
  EXPECT_EQ(elementText("<name>", text, position), "x&amp;y");
  EXPECT_EQ(position, text.find("<value>"));

  position = 0;
  EXPECT_EQ(elementText("<name>", "<name>open", position), "");
  EXPECT_EQ(position, 0u);
  EXPECT_EQ(elementText("<name>", "</name><x>", position), "");
  EXPECT_EQ(position, 0u);

  position = 0;
  EXPECT_EQ(elementText("<name>", "<name></name>", position), "");
  EXPECT_EQ(position, 13u);
}

TEST(XmlScanTest, EscapesTheFiveMarkupCharacters) {
  EXPECT_EQ(escapeXml("<a href='x'>&\"</a>"), "&lt;a href=&apos;x&apos;&gt;&amp;&quot;&lt;/a&gt;");
  EXPECT_EQ(escapeXml("plain \xc3\xa9 bytes\n"), "plain \xc3\xa9 bytes\n");
  EXPECT_EQ(escapeXml(std::string_view("a\0b", 3)), std::string("a\0b", 3));

  std::string out = "<name>";
  appendEscapedXml(out, "x&y");
  EXPECT_EQ(out, "<name>x&amp;y");
}

TEST(XmlScanTest, UnescapesOnlyTheFiveNamedEntities) {
  EXPECT_EQ(unescapeXml("&lt;&gt;&amp;&apos;&quot;"), "<>&'\"");
  EXPECT_EQ(unescapeXml("&#65;&#x41;"), "&#65;&#x41;");
  EXPECT_EQ(unescapeXml("a & b &nbsp; &"), "a & b &nbsp; &");
  EXPECT_EQ(unescapeXml("&amp;lt;"), "&lt;");  // one pass only
  EXPECT_EQ(unescapeXml("&LT;&lt"), "&LT;&lt");
  EXPECT_EQ(unescapeXml("no entities"), "no entities");
}

}  // namespace
}  // namespace Quillex
