#include "transport/xmlrpc_value.h"

#include <gtest/gtest.h>

#include <chrono>
#include <climits>
#include <functional>
#include <future>
#include <memory>
#include <ostream>
#include <random>
#include <thread>

namespace Quillex {

// Failure messages show the wire text.
void PrintTo(const XmlRpcValue& value, std::ostream* out) { *out << value.valueText(); }

namespace {

// Parses `text` from 0; `end` receives the final position.
XmlRpcValue parsed(std::string_view text, bool expectSuccess = true, std::size_t* end = nullptr) {
  XmlRpcValue value;
  std::size_t position = 0;
  EXPECT_EQ(value.parseValue(text, position), expectSuccess) << text;
  if (end != nullptr) *end = position;
  return value;
}

std::tm calendar(int isdst, int yday, int wday, int year, int mon, int mday, int hour, int min, int sec) {
  std::tm t{};
  t.tm_isdst = isdst;
  t.tm_yday = yday;
  t.tm_wday = wday;
  t.tm_year = year;
  t.tm_mon = mon;
  t.tm_mday = mday;
  t.tm_hour = hour;
  t.tm_min = min;
  t.tm_sec = sec;
  return t;
}

void expectError(const std::function<void()>& access, const std::string& message) {
  try {
    access();
    ADD_FAILURE() << "no exception, expected " << message;
  } catch (const XmlRpcException& e) {
    EXPECT_EQ(e.getMessage(), message);
    EXPECT_EQ(e.getCode(), -1);
  }
}

TEST(ValueTest, WritesEachKindExactly) {
  EXPECT_EQ(XmlRpcValue().valueText(), "");
  EXPECT_EQ(XmlRpcValue(true).valueText(), "<value><boolean>1</boolean></value>");
  EXPECT_EQ(XmlRpcValue(false).valueText(), "<value><boolean>0</boolean></value>");
  EXPECT_EQ(XmlRpcValue(INT_MIN).valueText(), "<value><i4>-2147483648</i4></value>");
  EXPECT_EQ(XmlRpcValue(1.5).valueText(), "<value><double>1.500000</double></value>");
  EXPECT_EQ(XmlRpcValue("").valueText(), "<value></value>");
  EXPECT_EQ(XmlRpcValue("a<b&c").valueText(), "<value>a&lt;b&amp;c</value>");
  EXPECT_EQ(XmlRpcValue("foo", 3).valueText(), "<value><base64>Zm9v</base64></value>");

  XmlRpcValue array;
  array[0] = 1;
  array[2] = "x";  // element 1 stays invalid and writes nothing
  EXPECT_EQ(array.valueText(),
            "<value><array><data><value><i4>1</i4></value><value>x</value></data></array></value>");
  std::string out = "<param>";
  array[0].appendValueText(out);
  EXPECT_EQ(out, "<param><value><i4>1</i4></value>");
}

TEST(ValueTest, WritesStructMembersInByteOrderWithEscapedNames) {
  XmlRpcValue s;
  s["a"] = 1;
  s["\xe9"] = 2;  // a byte above 0x7f sorts after ASCII
  s["x&y"] = 3;
  s["B"] = 4;
  EXPECT_EQ(s.valueText(),
            "<value><struct>"
            "<member><name>B</name><value><i4>4</i4></value></member>"
            "<member><name>a</name><value><i4>1</i4></value></member>"
            "<member><name>x&amp;y</name><value><i4>3</i4></value></member>"
            "<member><name>\xe9</name><value><i4>2</i4></value></member>"
            "</struct></value>");
}

TEST(ValueTest, WritesDateTimeFieldsInWireOrder) {
  EXPECT_EQ(XmlRpcValue(calendar(-1, 14, 1, 124, 0, 15, 10, 20, 30)).valueText(),
            "<value><dateTime.iso8601>-1,014,1,0124-00-15T10:20:30</dateTime.iso8601></value>");
  // Out-of-range fields are written in full, never cut short.
  const int m = INT_MIN;
  EXPECT_EQ(XmlRpcValue(calendar(m, m, m, m, m, m, m, m, m)).valueText(),
            "<value><dateTime.iso8601>-2147483648,-2147483648,-2147483648,-2147483648--2147483648-"
            "-2147483648T-2147483648:-2147483648:-2147483648</dateTime.iso8601></value>");
}

TEST(ValueTest, DoubleFormatIsProcessWideAndChecked) {
  EXPECT_EQ(XmlRpcValue::getDoubleFormat(), "%f");
  XmlRpcValue::setDoubleFormat("%.2e%%");
  EXPECT_EQ(XmlRpcValue(1234.5).valueText(), "<value><double>1.23e+03%</double></value>");
  for (const char* bad : {"%s", "%d", "%f %f", "x", "%*f", "%Lf", "%"}) {
    EXPECT_THROW(XmlRpcValue::setDoubleFormat(bad), XmlRpcException) << bad;
  }
  EXPECT_THROW(XmlRpcValue::setDoubleFormat(nullptr), XmlRpcException);
  EXPECT_EQ(XmlRpcValue::getDoubleFormat(), "%.2e%%");
  XmlRpcValue::setDoubleFormat("%f");

  // "%f" of 1e300 needs more than 255 characters; it must arrive whole.
  const std::string text = XmlRpcValue(1e300).valueText();
  EXPECT_GT(text.size(), 300u);
  EXPECT_EQ(parsed(text).getDouble(), 1e300);
}

TEST(ValueTest, ReadsStringsInEveryForm) {
  EXPECT_EQ(parsed("<value>abc</value>").getString(), "abc");
  EXPECT_EQ(parsed("<value><string>a&lt;b&amp;c</string></value>").getString(), "a<b&c");
  EXPECT_EQ(parsed("<value></value>").getString(), "");
  EXPECT_EQ(parsed("<value>  </value>").getString(), "  ");
  EXPECT_EQ(parsed("<value> x </value>").getString(), " x ");
  EXPECT_EQ(parsed("<value>&#65;</value>").getString(), "&#65;");
  EXPECT_EQ(parsed("<value><string></string></value>").getString(), "");
  parsed("<value>no end", false);
}

TEST(ValueTest, ReadsNumbersAndBooleansLikeTheCLibrary) {
  std::size_t end = 0;
  EXPECT_EQ(parsed("<value><i4>12</i4></value>tail", true, &end).getInt(), 12);
  EXPECT_EQ(end, 26u);
  EXPECT_EQ(parsed("<value><int>12</int></value>").getInt(), 12);
  EXPECT_EQ(parsed(" \n<value>\n<i4> -2147483648 </i4></value>").getInt(), INT_MIN);
  EXPECT_EQ(parsed("<value><i4>+7x</i4></value>").getInt(), 7);
  parsed("<value><i4></i4></value>", false);
  parsed("<value><i4>-</i4></value>", false);
  parsed("<value><i4>2147483648</i4></value>", false);  // not an int: no silent truncation
  parsed("<value><i4>99999999999999999999</i4></value>", false);

  EXPECT_TRUE(parsed("<value><boolean>1</boolean></value>").getBool());
  EXPECT_FALSE(parsed("<value><boolean>0</boolean></value>").getBool());
  parsed("<value><boolean>2</boolean></value>", false);
  parsed("<value><boolean>-1</boolean></value>", false);
  parsed("<value><boolean>true</boolean></value>", false);

  EXPECT_EQ(parsed("<value><double>-2.5e3</double></value>").getDouble(), -2500.0);
  EXPECT_EQ(parsed("<value><double> 0x10</double></value>").getDouble(), 16.0);
  parsed("<value><double>x</double></value>", false);
}

TEST(ValueTest, ReadsDateTimeAndReplacesTheDaylightFlag) {
  const XmlRpcValue value = parsed("<value><dateTime.iso8601>0,030,3,0124-00-31T23:59:59</dateTime.iso8601></value>");
  const std::tm& t = value.getDateTime();
  EXPECT_EQ(t.tm_year, 124);
  EXPECT_EQ(t.tm_mon, 0);
  EXPECT_EQ(t.tm_mday, 31);
  EXPECT_EQ(t.tm_wday, 3);
  EXPECT_EQ(t.tm_yday, 30);
  EXPECT_EQ(t.tm_hour, 23);
  EXPECT_EQ(t.tm_min, 59);
  EXPECT_EQ(t.tm_sec, 59);
  EXPECT_EQ(t.tm_isdst, -1);
  EXPECT_EQ(value.valueText(),
            "<value><dateTime.iso8601>-1,030,3,0124-00-31T23:59:59</dateTime.iso8601></value>");

  // The text this writer produces, flag -1 included, reads back.
  EXPECT_EQ(parsed(value.valueText()), value);

  parsed("<value><dateTime.iso8601>20240131T23:59:59</dateTime.iso8601></value>", false);
  parsed("<value><dateTime.iso8601>0,030,3,0124-00-31T23:59</dateTime.iso8601></value>", false);
  parsed("<value><dateTime.iso8601>0,030,3,0124-00-31T23:59:59", false);
}

TEST(ValueTest, ReadsBase64EvenWhenNothingDecodes) {
  EXPECT_EQ(parsed("<value><base64>Zm9v\nYg==\n</base64></value>").getBinary(),
            XmlRpcValue::BinaryData({'f', 'o', 'o', 'b'}));
  const XmlRpcValue junk = parsed("<value><base64>*** ==</base64></value>");
  EXPECT_EQ(junk.getType(), XmlRpcValue::TypeBase64);
  EXPECT_EQ(junk.size(), 0);
  parsed("<value><base64>Zm9v", false);
}

TEST(ValueTest, ArrayStopsAtTheFirstBadElementYetParses) {
  const XmlRpcValue array = parsed(
      "<value><array><data><value><i4>1</i4></value><value>two</value>"
      "<value><boolean>2</boolean></value><value><i4>3</i4></value></data></array></value>");
  ASSERT_EQ(array.size(), 2);
  EXPECT_EQ(array[0].getInt(), 1);
  EXPECT_EQ(array[1].getString(), "two");
  EXPECT_EQ(parsed("<value><array><data></data></array></value>").size(), 0);
  parsed("<value><array><value><i4>1</i4></value></array></value>", false);
}

TEST(ValueTest, StructNamesStayVerbatimAndABadMemberFailsTheStruct) {
  XmlRpcValue original;
  original["x&y"] = "v";
  const XmlRpcValue back = parsed(original.valueText());
  EXPECT_TRUE(back.hasMember("x&amp;y"));
  EXPECT_FALSE(back.hasMember("x&y"));

  const XmlRpcValue twice = parsed(
      "<value><struct><member><name>k</name><value><i4>1</i4></value></member>"
      "<member><name>k</name><value><i4>2</i4></value></member></struct></value>");
  ASSERT_EQ(twice.size(), 1);
  EXPECT_EQ(twice.members().at("k").getInt(), 1);

  std::size_t end = 99;
  XmlRpcValue bad = parsed(
      "<value><struct><member><name>a</name><value><i4>1</i4></value></member>"
      "<member><name>b</name><value><boolean>7</boolean></value></member></struct></value>",
      false, &end);
  EXPECT_FALSE(bad.valid());
  EXPECT_EQ(end, 0u);
  EXPECT_EQ(parsed("<value><struct></struct></value>").getType(), XmlRpcValue::TypeStruct);
}

TEST(ValueTest, FailedParseRestoresPositionAndInvalidatesTarget) {
  for (const char* text : {"", "<i4>1</i4>", "<value><nil/></value>", "<value><i4", "<value>"}) {
    XmlRpcValue value = 5;
    std::size_t position = 0;
    EXPECT_FALSE(value.parseValue(text, position)) << text;
    EXPECT_EQ(position, 0u);
    EXPECT_FALSE(value.valid());
  }
}

TEST(ValueTest, BrokenNestingFailsWithoutTryingItsPartsOverAndOver) {
  // Each unit opens a struct inside an array inside a struct whose member
  // name runs on into the next unit. Every level above a failure tries the
  // text after it again: before failed starts were remembered, each unit
  // doubled the time (20 units took half a second, 40 would take days).
  const std::string unit =
      "<value><struct><member><name>a</name><value><array><data><value><struct><member><name>a</l<ve>ray>"
      "</value></member><member>><bmaneue>";
  std::string text;
  for (int i = 0; i < 40; ++i) text += unit;
  auto outcome = std::make_shared<std::promise<bool>>();
  std::future<bool> parsedInTime = outcome->get_future();
  std::thread([outcome, text] {
    XmlRpcValue value;
    std::size_t position = 0;
    outcome->set_value(value.parseValue(text, position));
  }).detach();
  ASSERT_EQ(parsedInTime.wait_for(std::chrono::seconds(30)), std::future_status::ready);
  EXPECT_FALSE(parsedInTime.get());
}

TEST(ValueTest, RoundTripsNestedValuesOfEveryKind) {
  const std::string bytes = [] {
    std::mt19937 generator(1);
    std::string b(200000, '\0');
    for (char& c : b) c = static_cast<char>(generator());
    return b;
  }();
  XmlRpcValue value;
  value["binary"] = XmlRpcValue(bytes.data(), bytes.size());
  value["list"][0] = true;
  value["list"][1] = -0.25;
  value["list"][2] = "<&'\">";
  value["list"][3] = XmlRpcValue(calendar(0, 59, 4, 125, 1, 28, 0, 0, 1));
  value["list"][4]["inner"][0] = XmlRpcValue("", 0);
  value["list"][5] = "";
  value["empty struct"].insertMember("nothing", XmlRpcValue(0));

  XmlRpcValue back = parsed(value.valueText());
  // Read dateTimes come back with the daylight flag unknown.
  value["list"][3].asDateTime().tm_isdst = -1;
  EXPECT_EQ(back, value);
  EXPECT_EQ(back.valueText(), value.valueText());
}

TEST(ValueTest, RefusesNestingBeyondTheLimit) {
  auto nested = [](int depth) {
    std::string text;
    for (int i = 0; i < depth; ++i) text += "<value><array><data>";
    for (int i = 0; i < depth; ++i) text += "</data></array></value>";
    return text;
  };
  parsed(nested(XmlRpcValue::kMaxParseDepth));
  parsed(nested(XmlRpcValue::kMaxParseDepth + 1), false);
  parsed(nested(100000), false);
}

TEST(ValueTest, KindErrorsCarryTheirMessages) {
  XmlRpcValue number = 1;
  const XmlRpcValue& constNumber = number;
  expectError([&] { (void)number.size(); }, "type error");
  expectError([&] { (void)XmlRpcValue().size(); }, "type error");
  expectError([&] { (void)constNumber[0]; }, "type error: expected an array");
  expectError([&] { (void)number[0]; }, "type error: expected an array");
  expectError([&] { (void)number["m"]; }, "type error");
  expectError([&] { (void)number.asString(); }, "type error");
  expectError([&] { (void)number.getDouble(); }, "type error");
  expectError([&] { (void)XmlRpcValue().getInt(); }, "type error");
  expectError([&] { (void)number.members(); }, "type error");
  expectError([&] { (void)number.elements(); }, "type error: expected an array");
  expectError([&] { number.insertMember("m", 1); }, "type error");

  XmlRpcValue array;
  array[1] = 2;
  const XmlRpcValue& constArray = array;
  expectError([&] { (void)constArray[2]; }, "range error: array index too large");
  expectError([&] { (void)constArray[-1]; }, "range error: array index too large");
  expectError([&] { (void)array[-1]; }, "range error: array index too large");
  EXPECT_EQ(array.size(), 2);
}

TEST(ValueTest, InvalidValuesBecomeTheKindFirstUsed) {
  XmlRpcValue v;
  EXPECT_EQ(v.asInt(), 0);
  v.clear();
  EXPECT_EQ(v.asString(), "");
  v.clear();
  EXPECT_TRUE(v.asBinary().empty());
  v.clear();
  EXPECT_EQ(v.asDateTime().tm_year, 0);
  EXPECT_EQ(v, XmlRpcValue(std::tm{}));
  v.clear();
  v[3] = 1;
  EXPECT_EQ(v.size(), 4);
  EXPECT_FALSE(v[0].valid());

  XmlRpcValue s;
  EXPECT_TRUE(s.insertMember("k", 1));
  EXPECT_FALSE(s.insertMember("k", 2));
  EXPECT_EQ(s["k"].getInt(), 1);
  EXPECT_FALSE(s["new"].valid());
  EXPECT_EQ(s.size(), 2);
  EXPECT_FALSE(XmlRpcValue(1).hasMember("k"));

  XmlRpcValue assigned;
  assigned = 2.5;
  EXPECT_EQ(assigned.getType(), XmlRpcValue::TypeDouble);
  assigned = true;
  EXPECT_EQ(assigned.getType(), XmlRpcValue::TypeBoolean);
  assigned = static_cast<long>(7);
  EXPECT_EQ(assigned.getInt(), 7);
  assigned = static_cast<const char*>(nullptr);
  EXPECT_EQ(assigned.getString(), "");
}

TEST(ValueTest, CopiesAreDeepAndAssignmentSurvivesAliasing) {
  XmlRpcValue original;
  original["list"][0] = "first";
  XmlRpcValue copy = original;
  copy["list"][0].asString() += " changed";
  copy["list"][1] = 2;
  EXPECT_EQ(original["list"].size(), 1);
  EXPECT_EQ(original["list"][0].getString(), "first");

  copy = copy;
  EXPECT_EQ(copy["list"].size(), 2);

  // The source lives inside the target.
  XmlRpcValue nested;
  nested[0][0] = "deep";
  nested = nested[0];
  EXPECT_EQ(nested[0].getString(), "deep");
  nested = std::move(nested[0]);
  EXPECT_EQ(nested.getString(), "deep");
  nested = nested.getString().c_str();
  EXPECT_EQ(nested.getString(), "deep");

  XmlRpcValue moved = std::move(copy);
  EXPECT_FALSE(copy.valid());  // NOLINT: a moved-from value is invalid
  EXPECT_EQ(moved["list"].size(), 2);
}

}  // namespace
}  // namespace Quillex
