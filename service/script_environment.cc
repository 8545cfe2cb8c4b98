#include "script_environment.h"

#include <duktape.h>

#include <exception>
#include <limits>

#include "script_budget.h"
#include "script_code_page.h"
#include "script_host.h"

namespace dravont_service {

namespace {

// The object views and constructors, written in the script language itself
// on top of a few native functions (N). Called with (N, globalObject).
constexpr char kPrelude[] = R"JS((function (N, g) {
  var A = 0, F = 1, U = 2, S = 3, M = 4;
  function accessor(o, kind, h, name, writable) {
    var d = { enumerable: true, configurable: false,
              get: function () { return N.get(kind, h, name); } };
    if (writable) d.set = function (v) { N.set(kind, h, name, String(v)); };
    Object.defineProperty(o, name, d);
  }
  function view(kind, h) {
    var o = { handle: h };
    if (kind === A) {
      accessor(o, A, h, 'ticker'); accessor(o, A, h, 'service'); accessor(o, A, h, 'address');
    } else if (kind === F) {
      accessor(o, F, h, 'folder'); accessor(o, F, h, 'ticker'); accessor(o, F, h, 'service');
    } else if (kind === U) {
      accessor(o, U, h, 'url');
    } else if (kind === S) {
      accessor(o, S, h, 'fileName', true); accessor(o, S, h, 'length'); accessor(o, S, h, 'tell');
    } else if (kind === M) {
      accessor(o, M, h, 'subject', true); accessor(o, M, h, 'text', true); accessor(o, M, h, 'messageId');
      Object.defineProperty(o, 'dravontSender', { enumerable: true, get: function () {
        return { ticker: N.get(M, h, 'senderTicker'), service: N.get(M, h, 'senderService') };
      } });
      o.addRecepient = function (a) {
        N.addRecipient(h, (typeof a === 'object' && a !== null) ? 'EMAIL@' + a.ticker + '.' + a.service : String(a));
      };
    }
    return o;
  }
  function table(kind, target) {
    return new Proxy(target, { get: function (t, key) {
      if (typeof key === 'string' && /^[1-9][0-9]{0,9}$/.test(key)) {
        var h = Number(key);
        return N.has(kind, h) ? view(kind, h) : undefined;
      }
      return t[key];
    } });
  }
  function resolve(named) {
    return typeof named === 'string' ? (named === '' ? undefined : (0, eval)(named)) : named;
  }
  function flatten(p) {
    var flat = [];
    if (p !== undefined && p !== null) {
      for (var k in p) {
        if (Object.prototype.hasOwnProperty.call(p, k)) {
          var v = p[k];
          flat.push(k, v === undefined || v === null ? '' : String(v));
        }
      }
    }
    return flat;
  }
  function DravontURL(url, parameters) {
    return view(U, N.createUrl(String(url), flatten(resolve(parameters))));
  }
  function DravontMessage(settings) {
    var s = resolve(settings);
    var subject = (s !== undefined && s !== null && s.subject !== undefined && s.subject !== null) ? String(s.subject) : '';
    return view(M, N.createMessage(subject));
  }
  g.DravontAddress = table(A, {});
  g.EDIFolder = table(F, {});
  g.DravontStream = table(S, {});
  g.DravontURL = table(U, DravontURL);
  g.DravontMessage = table(M, DravontMessage);
  g.readParam = function (key) { return N.readParam(String(key)); };
  g.saveParam = function (key, value) { N.saveParam(String(key), String(value)); };
}))JS";

// What a native learned from the host. Kept per thread, outside the native's
// frame: a script error leaves the frame by a long jump, which must not skip
// destructors.
struct NativeResult {
  std::string error;
  std::string value;
  bool hasValue = false;
  Handle handle = 0;
  std::map<std::string, std::string> parameters;
};

NativeResult& scratch() {
  thread_local NativeResult result;
  return result;
}

// Every native begins here, which makes it a place where the script's time
// budget is checked (script_budget.h): out of time, the native throws.
ScriptHost& hostOf(duk_context* ctx) {
  if (!ScriptBudget::of(ctx).inTime()) (void)duk_range_error(ctx, "the script is out of time");
  duk_push_global_stash(ctx);
  duk_get_prop_string(ctx, -1, "host");
  auto* host = static_cast<ScriptHost*>(duk_get_pointer(ctx, -1));
  duk_pop_2(ctx);
  return *host;
}

// Runs a host call with C++ exceptions turned into an error text.
template <typename Call>
NativeResult& callHost(Call call) {
  NativeResult& result = scratch();
  result.error.clear();
  result.value.clear();
  result.hasValue = false;
  result.handle = 0;
  try {
    call(result);
  } catch (const std::exception& failure) {
    result.error = failure.what();
  } catch (...) {
    result.error = "internal error";
  }
  return result;
}

// A service text converted for the engine (script_code_page.h), kept in a
// buffer of the thread's: an error leaves a native by a long jump, which
// would skip a local string's destructor.
const std::string& engineScratch(std::string_view hostText) {
  thread_local std::string converted;
  converted = engineText(hostText);
  return converted;
}

void pushEngineText(duk_context* ctx, std::string_view hostText) {
  const std::string& text = engineScratch(hostText);
  duk_push_lstring(ctx, text.data(), text.size());
}

[[noreturn]] void throwHostError(duk_context* ctx, const NativeResult& result) {
  (void)duk_generic_error(ctx, "%s", engineScratch(result.error).c_str());
  __builtin_unreachable();
}

// Ends a native function whose result is a text or nothing: a host error
// becomes a script error, an absent value is undefined.
duk_ret_t returnOptionalText(duk_context* ctx, const NativeResult& result) {
  if (!result.error.empty()) throwHostError(ctx, result);
  if (!result.hasValue) return 0;
  pushEngineText(ctx, result.value);
  return 1;
}

bool kindArgument(duk_context* ctx, ObjectKind& kind) {
  const int code = duk_require_int(ctx, 0);
  if (code < 0 || code > static_cast<int>(ObjectKind::kMessage)) return false;
  kind = static_cast<ObjectKind>(code);
  return true;
}

bool handleArgument(duk_context* ctx, duk_idx_t index, Handle& handle) {
  const double number = duk_require_number(ctx, index);
  if (!(number >= 1 && number <= std::numeric_limits<Handle>::max())) return false;
  handle = static_cast<Handle>(number);
  return handle == number;
}

std::string_view stringArgument(duk_context* ctx, duk_idx_t index) {
  duk_size_t length = 0;
  const char* text = duk_require_lstring(ctx, index, &length);
  return {text, length};
}

duk_ret_t nativeHas(duk_context* ctx) {
  ObjectKind kind;
  Handle handle = 0;
  if (!kindArgument(ctx, kind) || !handleArgument(ctx, 1, handle)) {
    duk_push_false(ctx);
    return 1;
  }
  ScriptHost& host = hostOf(ctx);
  NativeResult& result = callHost([&](NativeResult& r) { r.hasValue = host.hasObject(kind, handle); });
  duk_push_boolean(ctx, result.hasValue);
  return 1;
}

duk_ret_t nativeGet(duk_context* ctx) {
  ObjectKind kind;
  Handle handle = 0;
  if (!kindArgument(ctx, kind) || !handleArgument(ctx, 1, handle)) return duk_range_error(ctx, "bad object handle");
  const std::string_view name = stringArgument(ctx, 2);
  ScriptHost& host = hostOf(ctx);
  NativeResult& result = callHost([&](NativeResult& r) {
    std::optional<std::string> value;
    r.error = host.objectProperty(kind, handle, hostText(name), value);
    r.hasValue = value.has_value();
    if (value) r.value = std::move(*value);
  });
  return returnOptionalText(ctx, result);
}

duk_ret_t nativeSet(duk_context* ctx) {
  ObjectKind kind;
  Handle handle = 0;
  if (!kindArgument(ctx, kind) || !handleArgument(ctx, 1, handle)) return duk_range_error(ctx, "bad object handle");
  const std::string_view name = stringArgument(ctx, 2);
  const std::string_view value = stringArgument(ctx, 3);
  ScriptHost& host = hostOf(ctx);
  NativeResult& result = callHost(
      [&](NativeResult& r) { r.error = host.setObjectProperty(kind, handle, hostText(name), hostText(value)); });
  if (!result.error.empty()) throwHostError(ctx, result);
  return 0;
}

duk_ret_t nativeAddRecipient(duk_context* ctx) {
  Handle handle = 0;
  if (!handleArgument(ctx, 0, handle)) return duk_range_error(ctx, "bad message handle");
  const std::string_view address = stringArgument(ctx, 1);
  ScriptHost& host = hostOf(ctx);
  NativeResult& result = callHost([&](NativeResult& r) { r.error = host.addRecipient(handle, hostText(address)); });
  if (!result.error.empty()) throwHostError(ctx, result);
  return 0;
}

duk_ret_t nativeCreateUrl(duk_context* ctx) {
  const std::string_view url = stringArgument(ctx, 0);
  NativeResult& collected = scratch();
  collected.parameters.clear();
  const duk_size_t count = duk_get_length(ctx, 1);
  for (duk_size_t i = 0; i + 1 < count; i += 2) {
    duk_get_prop_index(ctx, 1, static_cast<duk_uarridx_t>(i));
    duk_get_prop_index(ctx, 1, static_cast<duk_uarridx_t>(i + 1));
    const std::string_view key = stringArgument(ctx, -2);
    const std::string_view value = stringArgument(ctx, -1);
    collected.parameters.insert_or_assign(hostText(key), hostText(value));
    duk_pop_2(ctx);
  }
  ScriptHost& host = hostOf(ctx);
  NativeResult& result =
      callHost([&](NativeResult& r) { r.error = host.createUrl(hostText(url), r.parameters, r.handle); });
  if (!result.error.empty()) throwHostError(ctx, result);
  duk_push_uint(ctx, result.handle);
  return 1;
}

duk_ret_t nativeCreateMessage(duk_context* ctx) {
  const std::string_view subject = stringArgument(ctx, 0);
  ScriptHost& host = hostOf(ctx);
  NativeResult& result = callHost([&](NativeResult& r) { r.error = host.createMessage(hostText(subject), r.handle); });
  if (!result.error.empty()) throwHostError(ctx, result);
  duk_push_uint(ctx, result.handle);
  return 1;
}

duk_ret_t nativeReadParam(duk_context* ctx) {
  const std::string_view key = stringArgument(ctx, 0);
  ScriptHost& host = hostOf(ctx);
  NativeResult& result = callHost([&](NativeResult& r) {
    std::optional<std::string> value = host.readParam(hostText(key));
    r.hasValue = value.has_value();
    if (value) r.value = std::move(*value);
  });
  return returnOptionalText(ctx, result);
}

duk_ret_t nativeSaveParam(duk_context* ctx) {
  const std::string_view key = stringArgument(ctx, 0);
  const std::string_view value = stringArgument(ctx, 1);
  ScriptHost& host = hostOf(ctx);
  NativeResult& result =
      callHost([&](NativeResult& r) { r.error = host.saveParam(hostText(key), hostText(value)); });
  if (!result.error.empty()) throwHostError(ctx, result);
  return 0;
}

void putNative(duk_context* ctx, const char* name, duk_c_function function, duk_idx_t arguments) {
  duk_push_c_function(ctx, function, arguments);
  duk_put_prop_string(ctx, -2, name);
}

// iniFile: one object per section, one text per key, plus hostname.
void pushIniFile(duk_context* ctx, const ParticipantSettings& settings) {
  duk_push_object(ctx);
  for (const auto& section : settings.sections) {
    duk_push_object(ctx);
    for (const qnsys::IniEntry& entry : section.second) {
      pushEngineText(ctx, entry.value);
      const std::string& key = engineScratch(entry.key);
      duk_put_prop_lstring(ctx, -2, key.data(), key.size());
    }
    const std::string& name = engineScratch(section.first);
    duk_put_prop_lstring(ctx, -2, name.data(), name.size());
  }
  pushEngineText(ctx, settings.hostname);
  duk_put_prop_string(ctx, -2, "hostname");
}

}  // namespace

int installScriptEnvironment(duk_hthread* ctx, void* host) {
  auto* scriptHost = static_cast<ScriptHost*>(host);
  duk_push_global_stash(ctx);
  duk_push_pointer(ctx, scriptHost);
  duk_put_prop_string(ctx, -2, "host");
  duk_pop(ctx);

  duk_push_global_object(ctx);
  pushIniFile(ctx, scriptHost->settings());
  duk_put_prop_string(ctx, -2, "iniFile");
  duk_pop(ctx);

  duk_push_string(ctx, kPrelude);
  duk_push_string(ctx, "environment");
  duk_compile(ctx, DUK_COMPILE_EVAL);
  duk_call(ctx, 0);  // yields the setup function
  duk_push_object(ctx);
  putNative(ctx, "has", nativeHas, 2);
  putNative(ctx, "get", nativeGet, 3);
  putNative(ctx, "set", nativeSet, 4);
  putNative(ctx, "addRecipient", nativeAddRecipient, 2);
  putNative(ctx, "createUrl", nativeCreateUrl, 2);
  putNative(ctx, "createMessage", nativeCreateMessage, 1);
  putNative(ctx, "readParam", nativeReadParam, 1);
  putNative(ctx, "saveParam", nativeSaveParam, 2);
  duk_push_global_object(ctx);
  duk_call(ctx, 2);
  duk_pop(ctx);
  duk_push_undefined(ctx);
  return 1;
}

}  // namespace dravont_service
