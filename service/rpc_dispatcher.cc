#include "rpc_dispatcher.h"

#include <ctime>
#include <exception>
#include <mutex>

#include "method_call.h"

namespace dravont_service {

using Quillex::XmlRpcValue;

namespace {

const char* kindName(XmlRpcValue::Type type) {
  switch (type) {
    case XmlRpcValue::TypeBoolean: return "a boolean";
    case XmlRpcValue::TypeInt: return "an int";
    case XmlRpcValue::TypeDouble: return "a double";
    case XmlRpcValue::TypeString: return "a string";
    case XmlRpcValue::TypeDateTime: return "a dateTime";
    case XmlRpcValue::TypeBase64: return "a base64";
    case XmlRpcValue::TypeArray: return "an array";
    case XmlRpcValue::TypeStruct: return "a struct";
    case XmlRpcValue::TypeInvalid: break;
  }
  return "no value";
}

const char* expectedName(char kind) {
  switch (kind) {
    case 'i': return "an int";
    case 's': return "a string";
    case 'b': return "a base64";
  }
  return "?";
}

XmlRpcValue::Type typeOf(char kind) {
  switch (kind) {
    case 'i': return XmlRpcValue::TypeInt;
    case 's': return XmlRpcValue::TypeString;
    default: return XmlRpcValue::TypeBase64;
  }
}

// XML cannot carry U+0000, not even as a character reference: an answer
// holding one becomes an error answer that every client can read.
std::string answerText(const MethodSpec& method, const XmlRpcValue& value) {
  std::string text = responseText(value);
  if (text.find('\0') == std::string::npos) return text;
  return responseText(errorAnswer(method.answer, "the answer holds a NUL character, which XML cannot carry"));
}

void addMethods(std::unordered_map<std::string, MethodSpec>& table, const std::vector<MethodSpec>& methods) {
  for (const MethodSpec& method : methods) table.emplace(method.name, method);
}

}  // namespace

XmlRpcValue errorAnswer(const char* shape, const std::string& text) {
  if (std::string_view(shape) == "T") return XmlRpcValue(text);
  XmlRpcValue result;
  int index = 0;
  for (const char* kind = shape; *kind != '\0'; ++kind, ++index) {
    switch (*kind) {
      case 'i': result[index] = 0; break;
      case 's': result[index] = ""; break;
      case 'b': result[index] = XmlRpcValue(static_cast<const void*>(""), 0); break;
      case 'd': result[index] = XmlRpcValue(std::tm{}); break;
      default: result[index] = text; break;
    }
  }
  return result;
}

std::string checkParameters(const char* method, const char* kinds, const std::vector<XmlRpcValue>& params) {
  const std::string_view description(kinds);
  const bool open = description.ends_with('*');
  const std::size_t fixed = open ? description.size() - 1 : description.size();
  if (params.size() < fixed || (!open && params.size() > fixed)) {
    return std::string(method) + " takes " + (open ? "at least " : "") + std::to_string(fixed) + " parameter" +
           (fixed == 1 ? "" : "s") + ", not " + std::to_string(params.size());
  }
  for (std::size_t i = 0; i < fixed; ++i) {
    if (params[i].getType() != typeOf(description[i])) {
      return std::string(method) + ": parameter " + std::to_string(i + 1) + " must be " + expectedName(description[i]) +
             ", not " + kindName(params[i].getType());
    }
  }
  return "";
}

RpcDispatcher::RpcDispatcher(Service& service) : service_(service) {
  addMethods(methods_, contextMethods());
  addMethods(methods_, objectMethods());
  addMethods(methods_, streamMethods());
  addMethods(methods_, messageMethods());
  addMethods(methods_, deliveryMethods());
  addMethods(methods_, scriptMethods());
  if (service.options().testHooks) addMethods(methods_, testHookMethods());
}

RpcAnswer RpcDispatcher::handle(std::string_view requestBody) {
  RpcAnswer result = answer(requestBody);
  if (!result.drop) callsAnswered_.fetch_add(1, std::memory_order_relaxed);
  return result;
}

RpcAnswer RpcDispatcher::answer(std::string_view requestBody) {
  MethodCall call;
  std::string error;
  if (!parseMethodCall(requestBody, call, error)) return {faultText(kFaultParse, "Parse error: " + error)};
  const auto found = methods_.find(call.name);
  if (found == methods_.end()) return {faultText(kFaultUnknownMethod, "Unknown method \"" + call.name + "\"")};
  const MethodSpec& method = found->second;
  if (service_.options().testHooks) {
    if (std::optional<Injection> injection = service_.hooks().take(method.name)) {
      switch (injection->failure) {
        case InjectedFailure::kDrop: return {"", true};
        case InjectedFailure::kFault: return {faultText(kFaultInjected, injection->text)};
        case InjectedFailure::kError: return {responseText(errorAnswer(method.answer, injection->text))};
      }
    }
  }
  if (std::string problem = checkParameters(method.name, method.parameters, call.params); !problem.empty()) {
    return {faultText(kFaultInvalidParameters, problem)};
  }
  return run(method, call.params);
}

RpcAnswer RpcDispatcher::run(const MethodSpec& method, const std::vector<XmlRpcValue>& params) {
  try {
    std::shared_ptr<Context> context;
    std::unique_lock<std::mutex> lock;
    if (method.contextBound) {
      context = service_.findContext(params[0].getInt());
      if (!context) return {responseText(errorAnswer(method.answer, kUnknownContextText))};
      lock = std::unique_lock<std::mutex>(context->lock());
    }
    Call call{service_, context.get(), params};
    const StopControl::AtWork atWork(service_.stopControl());
    try {
      return {answerText(method, method.handler(call))};
    } catch (const ServiceError& failure) {
      return {answerText(method, errorAnswer(method.answer, failure.text))};
    }
  } catch (const Quillex::XmlRpcException& failure) {
    return {faultText(kFaultInvalidParameters, std::string(method.name) + ": " + failure.getMessage())};
  } catch (const std::exception& failure) {
    return {faultText(kFaultInternal, std::string(method.name) + ": internal error: " + failure.what())};
  }
}

}  // namespace dravont_service
