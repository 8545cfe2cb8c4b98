#include "script_heap.h"

#include <duktape.h>

#include <cstddef>
#include <cstdlib>
#include <new>

#include "platform/file.h"
#include "script_environment.h"
#include "script_host.h"

namespace dravont_service {

struct ScriptHeap::Budget {
  std::size_t used = 0;
  std::size_t cap = 0;
  bool exhausted = false;
};

namespace {

using Budget = ScriptHeap::Budget;

// Every block carries its size in front of it, so frees and reallocations
// can be counted against the budget.
constexpr std::size_t kHeaderSize = alignof(std::max_align_t);

std::size_t& sizeOf(void* block) { return *reinterpret_cast<std::size_t*>(static_cast<char*>(block) - kHeaderSize); }

void* budgetAllocate(void* udata, duk_size_t size) {
  auto* budget = static_cast<Budget*>(udata);
  if (size > budget->cap - budget->used) {
    budget->exhausted = true;
    return nullptr;
  }
  void* raw = std::malloc(kHeaderSize + size);
  if (raw == nullptr) return nullptr;
  void* block = static_cast<char*>(raw) + kHeaderSize;
  sizeOf(block) = size;
  budget->used += size;
  return block;
}

void budgetFree(void* udata, void* block) {
  if (block == nullptr) return;
  auto* budget = static_cast<Budget*>(udata);
  budget->used -= sizeOf(block);
  std::free(static_cast<char*>(block) - kHeaderSize);
}

void* budgetReallocate(void* udata, void* block, duk_size_t size) {
  if (block == nullptr) return budgetAllocate(udata, size);
  if (size == 0) {
    budgetFree(udata, block);
    return nullptr;
  }
  auto* budget = static_cast<Budget*>(udata);
  const std::size_t old = sizeOf(block);
  if (size > old && size - old > budget->cap - budget->used) {
    budget->exhausted = true;
    return nullptr;
  }
  void* raw = std::realloc(static_cast<char*>(block) - kHeaderSize, kHeaderSize + size);
  if (raw == nullptr) return nullptr;
  void* moved = static_cast<char*>(raw) + kHeaderSize;
  sizeOf(moved) = size;
  budget->used = budget->used - old + size;
  return moved;
}

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

ScriptHeap::ScriptHeap(ScriptHost& host, std::size_t memoryBudget) : host_(host), budget_(std::make_unique<Budget>()) {
  budget_->cap = memoryBudget;
}

ScriptHeap::~ScriptHeap() { reset(); }

void ScriptHeap::reset() {
  if (context_ != nullptr) duk_destroy_heap(context_);
  context_ = nullptr;
}

std::size_t ScriptHeap::bytesInUse() const { return budget_->used; }

bool ScriptHeap::build(std::string& error) {
  budget_->exhausted = false;
  context_ = duk_create_heap(budgetAllocate, budgetReallocate, budgetFree, budget_.get(), fatalScriptError);
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
    job.code = code;
    if (duk_safe_call(context_, runUnsafe, &job, 0, 1) != DUK_EXEC_SUCCESS) {
      error = "Can't install mixin \"" + name + "\": " + duk_safe_to_string(context_, -1);
      reset();
      return false;
    }
    duk_pop(context_);
  }
  return true;
}

ScriptOutcome ScriptHeap::run(std::string_view code, std::map<std::string, std::string>* properties) {
  ScriptOutcome outcome;
  if (context_ == nullptr && !build(outcome.error)) return outcome;
  budget_->exhausted = false;
  Job job;
  job.code = code;
  job.properties = properties;
  if (duk_safe_call(context_, runUnsafe, &job, 0, 1) == DUK_EXEC_SUCCESS && !job.allocationFailed) {
    outcome.ok = true;
    outcome.text = std::move(job.text);
  } else {
    outcome.error = job.allocationFailed ? "out of memory" : duk_safe_to_string(context_, -1);
  }
  duk_pop(context_);
  if (!outcome.ok && budget_->exhausted) {
    // What the script built may still fill the heap: start the next script afresh.
    outcome.error = "Script exceeded its memory budget of " + std::to_string(budget_->cap >> 20) + " MiB (" +
                    outcome.error + ")";
    reset();
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
