// Handing a text result back to the caller through the allocation callback
// that InitContext stored for the calling thread.
#pragma once

#include <string>

#include "dravontdll/service_call.h"
#include "transport/xmlrpc_value.h"

namespace Quillex {

// Sets *output to NULL, then: an empty value leaves it NULL and yields 0
// without calling the callback; otherwise the value and its NUL are copied
// into a block from the thread's callback, stored in *output, and 0 is
// returned. No callback on this thread: "Invalid callback function pointer",
// 4. The callback returned NULL: "Can't allocate memory", 4. The block
// belongs to the caller.
int deliverStringResult(const std::string& value, char** output);

// The usual answer of a text query: a non-empty error text is recorded and
// gives 2 with *output NULL; otherwise the value is delivered as above.
int deliverStringAnswer(XmlRpcValue& value, XmlRpcValue& errorText, char** output);

// A call answered by [0] text value, [1] error text, handed back through
// `output` as above; 3 when the call failed.
int callForString(const char* method, const RpcParams& params, char** output);

}  // namespace Quillex
