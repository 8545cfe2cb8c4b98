#include "script_heap.h"

#include <duktape.h>

#include <cstdlib>
#include <new>

#include "platform/file.h"
#include "script_code_page.h"
#include "script_environment.h"
#include "script_host.h"
#include "stop_control.h"

namespace dravont_service {

namespace {

// Reached only for an error outside every protected call, which the heap
// never makes; Duktape requires that this function does not return.
void fatalScriptError(void*, const char* message) {
  platform::writeStandardError(std::string("dravont-service: fatal script engine error: ") + (message ? message : "") +
                               "\n");
  std::abort();
}

struct Job {
  std::string_view code;
  std::map<std::string, std::string>* properties = nullptr;
  std::string text;
  bool allocationFailed = false;
};

// Runs inside duk_safe_call: no local here has a destructor, since an error
// leaves by a long jump.
void copyProperties(duk_context* ctx, Job* job) {
  if (duk_is_null_or_undefined(ctx, -1)) return;
  if (!duk_is_object(ctx, -1)) (void)duk_type_error(ctx, "the expression does not yield an object");
  duk_enum(ctx, -1, DUK_ENUM_OWN_PROPERTIES_ONLY);
  while (duk_next(ctx, -1, 1)) {
    duk_size_t keyLength = 0;
    duk_size_t valueLength = 0;
    const char* key = duk_to_lstring(ctx, -2, &keyLength);
    const char* value = duk_is_null_or_undefined(ctx, -1) ? "" : duk_to_lstring(ctx, -1, &valueLength);
    try {
      (*job->properties)[std::string(key, keyLength)] = std::string(value, valueLength);
    } catch (const std::bad_alloc&) {
      job->allocationFailed = true;
    }
    duk_pop_2(ctx);
  }
  duk_pop(ctx);
}

duk_ret_t runUnsafe(duk_context* ctx, void* udata) {
  auto* job = static_cast<Job*>(udata);
  duk_push_lstring(ctx, job->code.data(), job->code.size());
  duk_push_string(ctx, "script");
  duk_compile(ctx, DUK_COMPILE_EVAL);
  duk_call(ctx, 0);
  if (job->properties != nullptr) {
    copyProperties(ctx, job);
  } else if (!duk_is_null_or_undefined(ctx, -1)) {
    duk_size_t length = 0;
    const char* text = duk_to_lstring(ctx, -1, &length);
    try {
      job->text.assign(text, length);
    } catch (const std::bad_alloc&) {
      job->allocationFailed = true;
    }
  }
  return 0;
}

}  // namespace

ScriptHeap::ScriptHeap(ScriptHost& host, const ScriptLimits& limits)
    : host_(host), budget_(std::make_unique<ScriptBudget>(limits)) {}

ScriptHeap::~ScriptHeap() { reset(); }

void ScriptHeap::reset() {
  if (context_ != nullptr) duk_destroy_heap(context_);
  context_ = nullptr;
}

std::size_t ScriptHeap::bytesInUse() const { return budget_->bytesInUse(); }

bool ScriptHeap::build(std::string& error) {
  context_ = duk_create_heap(ScriptBudget::allocate, ScriptBudget::reallocate, ScriptBudget::release, budget_.get(),
                             fatalScriptError);
  if (context_ == nullptr) {
    error = "Can't create a script heap";
    return false;
  }
  if (duk_safe_call(context_, installScriptEnvironment, &host_, 0, 1) != DUK_EXEC_SUCCESS) {
    error = std::string("Can't set up the script environment: ") + duk_safe_to_string(context_, -1);
    reset();
    return false;
  }
  duk_pop(context_);
  for (const auto& [name, code] : host_.mixins()) {
    Job job;
    const std::string source = engineText(code);
    job.code = source;
    if (duk_safe_call(context_, runUnsafe, &job, 0, 1) != DUK_EXEC_SUCCESS) {
      error = "Can't install mixin \"" + name + "\": " + hostText(duk_safe_to_string(context_, -1));
      reset();
      return false;
    }
    duk_pop(context_);
  }
  return true;
}

ScriptOutcome ScriptHeap::run(std::string_view code, std::map<std::string, std::string>* properties) {
  ScriptOutcome outcome;
  StopControl::Paused paused(budget_->limits().stop);  // a stop does not wait for a script
  budget_->begin();
  // The code, and every text that comes back, crosses into and out of the
  // engine's UTF-8 (script_code_page.h).
  const std::string source = engineText(code);
  std::map<std::string, std::string> engineProperties;
  Job job;
  job.code = source;
  job.properties = properties != nullptr ? &engineProperties : nullptr;
  const bool built = context_ != nullptr || build(outcome.error);
  const bool ran = built && duk_safe_call(context_, runUnsafe, &job, 0, 1) == DUK_EXEC_SUCCESS;
  budget_->end();  // taking the outcome may allocate
  if (built) {
    if (ran && !job.allocationFailed) {
      outcome.ok = true;
      outcome.text = hostText(job.text);
      for (const auto& [key, value] : engineProperties) (*properties)[hostText(key)] = hostText(value);
    } else {
      outcome.error = job.allocationFailed ? "out of memory" : hostText(duk_safe_to_string(context_, -1));
    }
    duk_pop(context_);
  }
  if (outcome.ok || budget_->exceeded() == ScriptBudget::Exceeded::kNothing) return outcome;
  if (budget_->exceeded() == ScriptBudget::Exceeded::kMemory) {
    // What the script built may still fill the heap: start the next script afresh.
    outcome.error = budget_->exceededText() + " (" + outcome.error + ")";
    reset();
  } else {
    outcome.error = budget_->exceededText();
  }
  return outcome;
}

ScriptOutcome ScriptHeap::evaluate(std::string_view code) { return run(code, nullptr); }

ScriptOutcome ScriptHeap::evaluateProperties(std::string_view expression,
                                             std::map<std::string, std::string>& properties) {
  properties.clear();
  if (expression.find_first_not_of(" \t\r\n") == std::string_view::npos) return {true, "", ""};
  ScriptOutcome outcome = run(expression, &properties);
  if (!outcome.ok) properties.clear();
  return outcome;
}

}  // namespace dravont_service
