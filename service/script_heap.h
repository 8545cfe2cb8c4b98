// One JavaScript heap (Duktape) for one context, with a memory and a time
// budget (script_budget.h): a script that exceeds one fails with an error
// text naming it, and the context goes on working; after the memory budget
// the heap is rebuilt for the next script. The heap is built on first use and installs the script
// environment (script_environment.h) and the host's mixins. Not
// synchronised: the owning context serialises use.
#pragma once

#include <cstddef>
#include <map>
#include <memory>
#include <string>
#include <string_view>

#include "script_budget.h"

struct duk_hthread;

namespace dravont_service {

class ScriptHost;

struct ScriptOutcome {
  bool ok = false;
  std::string text;   // the value: numbers in decimal, arrays joined with ",", nothing for undefined and null
  std::string error;  // the thrown value as text when !ok
};

class ScriptHeap {
 public:
  ScriptHeap(ScriptHost& host, const ScriptLimits& limits);
  ~ScriptHeap();
  ScriptHeap(const ScriptHeap&) = delete;
  ScriptHeap& operator=(const ScriptHeap&) = delete;

  // Runs `code` as eval code in the global scope: declarations stay for
  // later scripts; the value is that of the last expression statement.
  ScriptOutcome evaluate(std::string_view code);
  // Evaluates an expression that yields an object and copies its own
  // enumerable properties as texts (getters run). An empty expression, undefined
  // and null give no properties.
  ScriptOutcome evaluateProperties(std::string_view expression, std::map<std::string, std::string>& properties);

  // Drops the heap; the next evaluation builds a fresh one.
  void reset();
  bool built() const { return context_ != nullptr; }
  std::size_t bytesInUse() const;

 private:
  bool build(std::string& error);
  ScriptOutcome run(std::string_view code, std::map<std::string, std::string>* properties);

  ScriptHost& host_;
  std::unique_ptr<ScriptBudget> budget_;  // at a fixed address: the allocator's udata
  duk_hthread* context_ = nullptr;
};

}  // namespace dravont_service
