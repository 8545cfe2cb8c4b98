// XmlRpcValue: one XML-RPC value — invalid, boolean, int, double, string,
// dateTime, base64 (binary), array or struct — with its wire text and parser.
//
// A value owns its payload; copies are deep and a moved-from value is
// invalid. Strings and member names are byte strings, never converted. Struct
// members are kept in byte-wise name order and names are unique. The dateTime
// payload is a std::tm whose nine standard fields are carried unchanged (no
// shifting or range checks); the extra glibc fields are kept zero.
//
// Kind errors throw XmlRpcException (code -1) with "type error",
// "type error: expected an array" or "range error: array index too large".
//
// Thread-safety: a value is not synchronised; distinct values may be used
// from distinct threads. The double format is process-wide and unsynchronised:
// set it before other threads write values.
#pragma once

#include <concepts>
#include <cstddef>
#include <ctime>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "transport/xmlrpc_exception.h"

namespace Quillex {

class XmlRpcValue {
 public:
  enum Type {
    TypeInvalid = 0,
    TypeBoolean,
    TypeInt,
    TypeDouble,
    TypeString,
    TypeDateTime,
    TypeBase64,
    TypeArray,
    TypeStruct
  };
  using BinaryData = std::vector<char>;
  using ValueArray = std::vector<XmlRpcValue>;
  // std::string compares its bytes as unsigned char: byte-wise name order.
  using ValueStruct = std::map<std::string, XmlRpcValue>;

  XmlRpcValue() = default;  // invalid
  XmlRpcValue(bool value);
  XmlRpcValue(int value);
  XmlRpcValue(double value);
  XmlRpcValue(const std::string& value);
  XmlRpcValue(const char* value);  // a null pointer gives the empty string
  XmlRpcValue(const std::tm& value);
  XmlRpcValue(const void* data, std::size_t size);  // base64; copies the bytes

  XmlRpcValue(const XmlRpcValue& other);
  XmlRpcValue(XmlRpcValue&& other) noexcept;
  // Both assignments are safe when `other` lives inside this value.
  XmlRpcValue& operator=(const XmlRpcValue& other);
  XmlRpcValue& operator=(XmlRpcValue&& other) noexcept;
  XmlRpcValue& operator=(int value);
  XmlRpcValue& operator=(const char* value);
  XmlRpcValue& operator=(const std::string& value);
  // Exact-type overloads, so that `value = 2.5` and `value = true` keep their
  // kind instead of converting to int, while other integers still take
  // operator=(int).
  template <std::same_as<bool> T>
  XmlRpcValue& operator=(T value) {
    return *this = XmlRpcValue(static_cast<bool>(value));
  }
  template <std::floating_point T>
  XmlRpcValue& operator=(T value) {
    return *this = XmlRpcValue(static_cast<double>(value));
  }
  ~XmlRpcValue();

  // Same kind and equal payload (dateTime: the nine standard fields).
  bool operator==(const XmlRpcValue& other) const;

  // Frees the payload; the value becomes invalid.
  void clear() {
    if (type_ >= TypeString) releasePayload();
    type_ = TypeInvalid;
  }
  bool valid() const { return type_ != TypeInvalid; }
  Type getType() const { return type_; }

  // String: bytes; base64: bytes; array: elements; struct: members.
  // Throws "type error" for any other kind.
  int size() const;

  // Element `i` of an array. Throws "type error: expected an array" or, for an
  // index outside the array, "range error: array index too large".
  const XmlRpcValue& operator[](int i) const;
  // An invalid value first becomes an empty array; an array is grown to i+1
  // elements (the new ones invalid). Other kinds throw "type error: expected
  // an array"; a negative index throws the range error. The reference stays
  // valid until the array is next resized.
  XmlRpcValue& operator[](int i);

  // Member `name`, created invalid when missing. An invalid value first
  // becomes an empty struct; other kinds throw "type error".
  XmlRpcValue& operator[](const std::string& name);
  // False for any kind but struct.
  bool hasMember(const std::string& name) const;
  // Inserts unless `name` is present (the first value is kept); true iff
  // inserted. An invalid value first becomes an empty struct; other kinds
  // throw "type error".
  bool insertMember(const std::string& name, const XmlRpcValue& value);
  const ValueStruct& members() const;  // throws "type error" unless struct
  const ValueArray& elements() const;  // throws "type error: expected an array"

  // Typed references: an invalid value first becomes that kind holding 0, an
  // empty payload or an all-zero record; another kind throws "type error".
  bool& asBool();
  int& asInt();
  double& asDouble();
  std::string& asString();
  BinaryData& asBinary();
  std::tm& asDateTime();

  // Read-only typed access; any other kind, invalid included, throws
  // "type error".
  bool getBool() const;
  int getInt() const;
  double getDouble() const;
  const std::string& getString() const;
  const BinaryData& getBinary() const;
  const std::tm& getDateTime() const;

  // The wire text: "<value>...</value>", or empty for an invalid value.
  std::string valueText() const;
  // Appends valueText() to `out`.
  void appendValueText(std::string& out) const;

  // Parses one value at `position` in `text`. On success moves `position`
  // past the value's "</value>" and returns true. On failure returns false,
  // restores `position` and leaves this value invalid. An array stops at the
  // first element that does not parse and still counts as parsed; values
  // nested deeper than kMaxParseDepth fail the whole parse.
  bool parseValue(std::string_view text, std::size_t& position);
  static constexpr int kMaxParseDepth = 100;

  // The printf format for every double written (initially "%f"). It must hold
  // exactly one conversion among f F e E g G a A (flags, width, precision and
  // "%%" allowed, no "*"); anything else throws XmlRpcException and keeps the
  // current format.
  static void setDoubleFormat(const char* format);
  static const std::string& getDoubleFormat();

 private:
  struct ParseState;

  // The payload: inline for scalars, owned pointer for the rest.
  union Payload {
    bool asBool;
    int asInt;
    double asDouble;
    std::string* asString;
    std::tm* asDateTime;
    BinaryData* asBinary;
    ValueArray* asArray;
    ValueStruct* asStruct;
  };

  // Makes an invalid value kind `type` with an empty payload; throws "type
  // error" (or `error`) when the value is valid and of another kind.
  void becomeKind(Type type, const char* error = kTypeError);
  // Throws `error` unless the value is of kind `type`.
  void requireKind(Type type, const char* error = kTypeError) const;
  void copyFrom(const XmlRpcValue& other);
  // Deletes the owned payload of a string, dateTime, base64, array or struct.
  void releasePayload();
  // About the length of valueText(), for reserving it in one piece.
  std::size_t textSizeHint() const;

  bool parseAt(std::string_view text, std::size_t& position, ParseState& state);
  bool parseArray(std::string_view text, std::size_t& position, ParseState& state);
  bool parseStruct(std::string_view text, std::size_t& position, ParseState& state);
  bool parseBoolean(std::string_view text, std::size_t& position);
  bool parseInt(std::string_view text, std::size_t& position);
  bool parseDouble(std::string_view text, std::size_t& position);
  bool parseString(std::string_view text, std::size_t& position);
  bool parseDateTime(std::string_view text, std::size_t& position);
  bool parseBase64(std::string_view text, std::size_t& position);
  void appendDouble(std::string& out) const;
  void appendDateTime(std::string& out) const;

  static constexpr const char* kTypeError = "type error";
  static constexpr const char* kArrayError = "type error: expected an array";
  static constexpr const char* kRangeError = "range error: array index too large";

  Type type_ = TypeInvalid;
  Payload payload_{};
};

}  // namespace Quillex
