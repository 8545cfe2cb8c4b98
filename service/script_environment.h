// The globals every context's scripts see:
//   DravontAddress["h"], EDIFolder["h"], DravontURL["h"], DravontStream["h"],
//   DravontMessage["h"]   the live objects by handle (decimal), read through
//                         to the context on every access; DravontStream's
//                         fileName and DravontMessage's subject and text
//                         are assignable
//   new DravontURL(url, parameters), new DravontMessage(settings)
//                         parameters and settings are an object or a text
//                         naming one (evaluated, e.g. 'iniFile.notification')
//   iniFile               the settings file's sections of keys, plus
//                         iniFile.hostname
//   readParam(key), saveParam(key, value)
#pragma once

struct duk_hthread;

namespace dravont_service {

// A duk_safe_call function: installs the globals into the heap; `host` is
// the ScriptHost* the natives call. Pushes one (undefined) value.
int installScriptEnvironment(duk_hthread* context, void* host);

}  // namespace dravont_service
