// XmlRpcValue: construction, copying, kind changes and typed access. The wire
// text and the parser are in xmlrpc_value_text.cc.
#include "transport/xmlrpc_value.h"

namespace Quillex {

namespace {

// The nine standard fields of `source`; the platform's extra fields stay zero.
std::tm calendarFields(const std::tm& source) {
  std::tm record{};
  record.tm_sec = source.tm_sec;
  record.tm_min = source.tm_min;
  record.tm_hour = source.tm_hour;
  record.tm_mday = source.tm_mday;
  record.tm_mon = source.tm_mon;
  record.tm_year = source.tm_year;
  record.tm_wday = source.tm_wday;
  record.tm_yday = source.tm_yday;
  record.tm_isdst = source.tm_isdst;
  return record;
}

bool sameCalendar(const std::tm& a, const std::tm& b) {
  return a.tm_sec == b.tm_sec && a.tm_min == b.tm_min && a.tm_hour == b.tm_hour &&
         a.tm_mday == b.tm_mday && a.tm_mon == b.tm_mon && a.tm_year == b.tm_year &&
         a.tm_wday == b.tm_wday && a.tm_yday == b.tm_yday && a.tm_isdst == b.tm_isdst;
}

}  // namespace

XmlRpcValue::XmlRpcValue(bool value) : type_(TypeBoolean) { payload_.asBool = value; }

XmlRpcValue::XmlRpcValue(int value) : type_(TypeInt) { payload_.asInt = value; }

XmlRpcValue::XmlRpcValue(double value) : type_(TypeDouble) { payload_.asDouble = value; }

XmlRpcValue::XmlRpcValue(const std::string& value) : type_(TypeString) {
  payload_.asString = new std::string(value);
}

XmlRpcValue::XmlRpcValue(const char* value) : type_(TypeString) {
  payload_.asString = new std::string(value != nullptr ? value : "");
}

XmlRpcValue::XmlRpcValue(const std::tm& value) : type_(TypeDateTime) {
  payload_.asDateTime = new std::tm(calendarFields(value));
}

XmlRpcValue::XmlRpcValue(const void* data, std::size_t size) : type_(TypeBase64) {
  const auto* bytes = static_cast<const char*>(data);
  payload_.asBinary = size > 0 ? new BinaryData(bytes, bytes + size) : new BinaryData();
}

XmlRpcValue::XmlRpcValue(const XmlRpcValue& other) { copyFrom(other); }

XmlRpcValue::XmlRpcValue(XmlRpcValue&& other) noexcept
    : type_(other.type_), payload_(other.payload_) {
  other.type_ = TypeInvalid;
}

XmlRpcValue& XmlRpcValue::operator=(const XmlRpcValue& other) {
  if (this != &other) {
    // Copy first: `other` may be part of this value's payload.
    XmlRpcValue copy(other);
    *this = std::move(copy);
  }
  return *this;
}

XmlRpcValue& XmlRpcValue::operator=(XmlRpcValue&& other) noexcept {
  if (this != &other) {
    // Detach the source before clearing: it may live inside this payload.
    const Type type = other.type_;
    const Payload payload = other.payload_;
    other.type_ = TypeInvalid;
    clear();
    type_ = type;
    payload_ = payload;
  }
  return *this;
}

XmlRpcValue& XmlRpcValue::operator=(int value) {
  clear();
  type_ = TypeInt;
  payload_.asInt = value;
  return *this;
}

XmlRpcValue& XmlRpcValue::operator=(const char* value) { return *this = XmlRpcValue(value); }

XmlRpcValue& XmlRpcValue::operator=(const std::string& value) { return *this = XmlRpcValue(value); }

XmlRpcValue::~XmlRpcValue() { clear(); }

void XmlRpcValue::copyFrom(const XmlRpcValue& other) {
  Payload payload = other.payload_;
  switch (other.type_) {
    case TypeString: payload.asString = new std::string(*other.payload_.asString); break;
    case TypeDateTime: payload.asDateTime = new std::tm(calendarFields(*other.payload_.asDateTime)); break;
    case TypeBase64: payload.asBinary = new BinaryData(*other.payload_.asBinary); break;
    case TypeArray: payload.asArray = new ValueArray(*other.payload_.asArray); break;
    case TypeStruct: payload.asStruct = new ValueStruct(*other.payload_.asStruct); break;
    default: break;
  }
  payload_ = payload;
  type_ = other.type_;
}

void XmlRpcValue::releasePayload() {
  switch (type_) {
    case TypeString: delete payload_.asString; break;
    case TypeDateTime: delete payload_.asDateTime; break;
    case TypeBase64: delete payload_.asBinary; break;
    case TypeArray: delete payload_.asArray; break;
    case TypeStruct: delete payload_.asStruct; break;
    default: break;
  }
  payload_ = Payload{};
}

bool XmlRpcValue::operator==(const XmlRpcValue& other) const {
  if (type_ != other.type_) return false;
  switch (type_) {
    case TypeInvalid: return true;
    case TypeBoolean: return payload_.asBool == other.payload_.asBool;
    case TypeInt: return payload_.asInt == other.payload_.asInt;
    case TypeDouble: return payload_.asDouble == other.payload_.asDouble;
    case TypeString: return *payload_.asString == *other.payload_.asString;
    case TypeDateTime: return sameCalendar(*payload_.asDateTime, *other.payload_.asDateTime);
    case TypeBase64: return *payload_.asBinary == *other.payload_.asBinary;
    case TypeArray: return *payload_.asArray == *other.payload_.asArray;
    case TypeStruct: return *payload_.asStruct == *other.payload_.asStruct;
  }
  return false;
}

void XmlRpcValue::requireKind(Type type, const char* error) const {
  if (type_ != type) throw XmlRpcException(error);
}

void XmlRpcValue::becomeKind(Type type, const char* error) {
  if (type_ == type) return;
  if (type_ != TypeInvalid) throw XmlRpcException(error);
  Payload payload{};
  switch (type) {
    case TypeString: payload.asString = new std::string(); break;
    case TypeDateTime: payload.asDateTime = new std::tm{}; break;
    case TypeBase64: payload.asBinary = new BinaryData(); break;
    case TypeArray: payload.asArray = new ValueArray(); break;
    case TypeStruct: payload.asStruct = new ValueStruct(); break;
    default: break;
  }
  payload_ = payload;
  type_ = type;
}

int XmlRpcValue::size() const {
  switch (type_) {
    case TypeString: return static_cast<int>(payload_.asString->size());
    case TypeBase64: return static_cast<int>(payload_.asBinary->size());
    case TypeArray: return static_cast<int>(payload_.asArray->size());
    case TypeStruct: return static_cast<int>(payload_.asStruct->size());
    default: throw XmlRpcException(kTypeError);
  }
}

const XmlRpcValue& XmlRpcValue::operator[](int i) const {
  requireKind(TypeArray, kArrayError);
  if (i < 0 || static_cast<std::size_t>(i) >= payload_.asArray->size()) {
    throw XmlRpcException(kRangeError);
  }
  return (*payload_.asArray)[static_cast<std::size_t>(i)];
}

XmlRpcValue& XmlRpcValue::operator[](int i) {
  if (type_ != TypeInvalid && type_ != TypeArray) throw XmlRpcException(kArrayError);
  if (i < 0) throw XmlRpcException(kRangeError);
  becomeKind(TypeArray, kArrayError);
  ValueArray& elements = *payload_.asArray;
  const auto index = static_cast<std::size_t>(i);
  if (elements.size() <= index) elements.resize(index + 1);
  return elements[index];
}

XmlRpcValue& XmlRpcValue::operator[](const std::string& name) {
  becomeKind(TypeStruct);
  return (*payload_.asStruct)[name];
}

bool XmlRpcValue::hasMember(const std::string& name) const {
  return type_ == TypeStruct && payload_.asStruct->contains(name);
}

bool XmlRpcValue::insertMember(const std::string& name, const XmlRpcValue& value) {
  becomeKind(TypeStruct);
  if (payload_.asStruct->contains(name)) return false;
  // The node holds its own copy before it is linked, so `value` may be this
  // struct or one of its members.
  payload_.asStruct->emplace(name, value);
  return true;
}

const XmlRpcValue::ValueStruct& XmlRpcValue::members() const {
  requireKind(TypeStruct);
  return *payload_.asStruct;
}

const XmlRpcValue::ValueArray& XmlRpcValue::elements() const {
  requireKind(TypeArray, kArrayError);
  return *payload_.asArray;
}

bool& XmlRpcValue::asBool() {
  becomeKind(TypeBoolean);
  return payload_.asBool;
}

int& XmlRpcValue::asInt() {
  becomeKind(TypeInt);
  return payload_.asInt;
}

double& XmlRpcValue::asDouble() {
  becomeKind(TypeDouble);
  return payload_.asDouble;
}

std::string& XmlRpcValue::asString() {
  becomeKind(TypeString);
  return *payload_.asString;
}

XmlRpcValue::BinaryData& XmlRpcValue::asBinary() {
  becomeKind(TypeBase64);
  return *payload_.asBinary;
}

std::tm& XmlRpcValue::asDateTime() {
  becomeKind(TypeDateTime);
  return *payload_.asDateTime;
}

bool XmlRpcValue::getBool() const {
  requireKind(TypeBoolean);
  return payload_.asBool;
}

int XmlRpcValue::getInt() const {
  requireKind(TypeInt);
  return payload_.asInt;
}

double XmlRpcValue::getDouble() const {
  requireKind(TypeDouble);
  return payload_.asDouble;
}

const std::string& XmlRpcValue::getString() const {
  requireKind(TypeString);
  return *payload_.asString;
}

const XmlRpcValue::BinaryData& XmlRpcValue::getBinary() const {
  requireKind(TypeBase64);
  return *payload_.asBinary;
}

const std::tm& XmlRpcValue::getDateTime() const {
  requireKind(TypeDateTime);
  return *payload_.asDateTime;
}

}  // namespace Quillex
