// What a method handler sees and returns. A method is described by its
// parameter kinds and its answer shape; the dispatcher checks the parameters
// against the description before the handler runs, and builds the error
// answer from the shape when the handler throws ServiceError, so the error
// text always lands in the slot the client library reads.
//
// Parameter kinds: 'i' int, 's' string, 'b' base64; a trailing '*' allows
// any further parameters. Answer shapes: one letter per array element, 'i'
// int 0, 's' empty string, 'b' empty base64, 'd' all-zero dateTime, 'E' the
// error text; the shape "T" is an answer that is the error text alone.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "context.h"
#include "object_table.h"
#include "service.h"
#include "transport/xmlrpc_value.h"

namespace dravont_service {

// Thrown by a handler: the call fails with this error text (not a fault).
struct ServiceError {
  std::string text;
};

struct Call {
  Service& service;
  Context* context;  // locked for the call; null for methods not bound to a context
  const std::vector<Quillex::XmlRpcValue>& params;

  int intAt(std::size_t index) const { return params[index].getInt(); }
  Handle handleAt(std::size_t index) const { return static_cast<Handle>(params[index].getInt()); }
  const std::string& textAt(std::size_t index) const { return params[index].getString(); }
  const Quillex::XmlRpcValue::BinaryData& binaryAt(std::size_t index) const { return params[index].getBinary(); }
  Context& ctx() const { return *context; }
};

using MethodHandler = Quillex::XmlRpcValue (*)(Call& call);

struct MethodSpec {
  const char* name;
  const char* parameters;
  const char* answer;
  MethodHandler handler;
  bool contextBound = true;  // parameter 0 is the context number
};

// An answer array of the given values, in order.
template <typename... Values>
Quillex::XmlRpcValue answer(Values&&... values) {
  Quillex::XmlRpcValue result;
  int index = 0;
  ((result[index++] = Quillex::XmlRpcValue(std::forward<Values>(values))), ...);
  return result;
}

// A wire int for an unsigned count or handle (values of 2^31 and more travel
// as negative ints).
inline int wireInt(std::uint64_t value) { return static_cast<int>(static_cast<std::uint32_t>(value)); }

inline Quillex::XmlRpcValue binaryValue(const std::string& bytes) {
  return Quillex::XmlRpcValue(bytes.data(), bytes.size());
}

// Throws ServiceError when `error` is not empty.
inline void check(const std::string& error) {
  if (!error.empty()) throw ServiceError{error};
}

// The object of a kind under a handle of the call's context, or a
// ServiceError naming the family and handle.
AddressObject& addressAt(Call& call, std::size_t index);
FolderObject& folderAt(Call& call, std::size_t index);
UrlObject& urlAt(Call& call, std::size_t index);
std::shared_ptr<Stream> streamAt(Call& call, std::size_t index);
std::shared_ptr<MessageObject> messageAt(Call& call, std::size_t index);

// The method tables of the families, for the dispatcher.
std::vector<MethodSpec> contextMethods();
std::vector<MethodSpec> objectMethods();
std::vector<MethodSpec> streamMethods();
std::vector<MethodSpec> messageMethods();
std::vector<MethodSpec> deliveryMethods();
std::vector<MethodSpec> scriptMethods();
std::vector<MethodSpec> testHookMethods();

}  // namespace dravont_service
