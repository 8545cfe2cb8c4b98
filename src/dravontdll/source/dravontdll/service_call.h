// What every export that talks to the service shares: turning a context
// into its number, building the positional parameter list, making the call
// on the thread's client, and recording the answer's error text.
#pragma once

#include <cstddef>
#include <string>

#include "dravont/dravontdll.h"
#include "transport/xmlrpc_value.h"

namespace Quillex {

// The service's context number carried in a context pointer, and back.
int contextNumber(const DravontContext_s* context);
DravontContext_s* contextFromNumber(int number);

// The parameters of one call, in order. Texts that are NULL are sent as
// empty texts; unsigned numbers travel as ints (2^31 and more as negative).
class RpcParams {
 public:
  RpcParams& add(int value);
  RpcParams& add(unsigned int value);
  RpcParams& add(const DravontContext_s* context) { return add(contextNumber(context)); }
  RpcParams& addText(const char* text);
  RpcParams& addText(const std::string& text);
  RpcParams& addBinary(const void* data, std::size_t size);
  // The array of parameters (invalid when none was added: no params element).
  const XmlRpcValue& value() const { return array_; }

 private:
  XmlRpcValue array_;
  int count_ = 0;
};

// Calls `method` on the calling thread's client. On failure records
// `failureText` (by default "RPC call <method> failed") and returns false.
bool callService(const char* method, const RpcParams& params, XmlRpcValue& result, const char* failureText = nullptr);

// The transport-failure text of a method: "RPC call <method> failed".
std::string callFailedText(const char* method);

// Records an answer's error text by the last-error rule: 0 when empty, 2
// otherwise. Throws the transport's "type error" when it is no text.
int recordServiceText(XmlRpcValue& text);

// Where an answer that carries nothing but the error text holds it.
enum class ErrorTextAnswer {
  kText,          // the answer is the text itself
  kFirstElement,  // the answer is an array, the text its element 0
};

// A call whose answer is only an error text: 0 or 2 by the text, 3 when the
// call failed (recording `failureText`, by default "RPC call <method> failed").
int callForErrorText(const char* method, const RpcParams& params, ErrorTextAnswer shape,
                     const char* failureText = nullptr);

// A call answered by [0] number, [1] error text: the error text is recorded
// and the number returned; `failureValue` when the call failed.
unsigned int callForNumber(const char* method, const RpcParams& params, unsigned int failureValue);

}  // namespace Quillex
