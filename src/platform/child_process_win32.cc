#include "platform/child_process.h"

#include <windows.h>

#include <algorithm>
#include <mutex>

#include "platform/clock.h"
#include "platform/stop_request_win32.h"
#include "platform/win32_text.h"

namespace platform {

namespace {

HANDLE handleOf(std::intptr_t value) { return reinterpret_cast<HANDLE>(value); }

// One argument as the C runtime's parser reads it back: quoted when it
// holds blanks or quotes, backslashes doubled before a quote.
std::string quotedArgument(const std::string& argument) {
  if (!argument.empty() && argument.find_first_of(" \t\"") == std::string::npos) return argument;
  std::string quoted = "\"";
  std::size_t backslashes = 0;
  for (const char c : argument) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    quoted.append(c == '"' ? 2 * backslashes + 1 : backslashes, '\\');
    backslashes = 0;
    quoted.push_back(c);
  }
  quoted.append(2 * backslashes, '\\');
  return quoted + "\"";
}

// This process's environment with `added` ("NAME=value") replacing
// variables of the same name, as the block CreateProcessA takes.
std::string environmentBlock(const std::vector<std::string>& added) {
  std::vector<std::string> entries;
  if (char* strings = ::GetEnvironmentStringsA()) {
    for (const char* entry = strings; *entry != '\0'; entry += std::char_traits<char>::length(entry) + 1) {
      const std::string text(entry);
      const std::string name = text.substr(0, text.find('=', 1));
      const bool overridden = std::any_of(added.begin(), added.end(), [&](const std::string& a) {
        return a.size() > name.size() && a[name.size()] == '=' && ::_strnicmp(a.c_str(), name.c_str(), name.size()) == 0;
      });
      if (!overridden) entries.push_back(text);
    }
    ::FreeEnvironmentStringsA(strings);
  }
  entries.insert(entries.end(), added.begin(), added.end());
  std::string block;
  for (const std::string& entry : entries) block += entry + '\0';
  return block + '\0';
}

// The job every child of this process runs in: it ends them when this
// process ends, however it ends (as a process group's children see their
// session end on POSIX), so that no child outlives a test that exits at
// once and keeps its output open. nullptr when the system has no job for it.
HANDLE childrenJob() {
  static const HANDLE job = [] {
    const HANDLE made = ::CreateJobObjectA(nullptr, nullptr);
    if (made == nullptr) return made;
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    if (!::SetInformationJobObject(made, JobObjectExtendedLimitInformation, &limits, sizeof limits)) {
      ::CloseHandle(made);
      return HANDLE{nullptr};
    }
    return made;
  }();
  return job;
}

}  // namespace

std::unique_ptr<ChildProcess> ChildProcess::start(const std::vector<std::string>& arguments, bool captureOutput,
                                                  std::string& error, const std::vector<std::string>& environment) {
  if (arguments.empty()) {
    error = "no program given";
    return nullptr;
  }
  std::string commandLine;
  for (const std::string& argument : arguments) commandLine += (commandLine.empty() ? "" : " ") + quotedArgument(argument);
  std::string block = environmentBlock(environment);

  HANDLE readEnd = INVALID_HANDLE_VALUE;
  HANDLE writeEnd = INVALID_HANDLE_VALUE;
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  // The child writes where this process writes, or into the pipe.
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = ::GetStdHandle(STD_OUTPUT_HANDLE);
  startup.hStdError = ::GetStdHandle(STD_ERROR_HANDLE);
  if (captureOutput) {
    SECURITY_ATTRIBUTES inherited{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    if (!::CreatePipe(&readEnd, &writeEnd, &inherited, 0)) {
      error = win32::systemErrorText(::GetLastError());
      return nullptr;
    }
    // Only the write end goes to the child.
    ::SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    startup.hStdOutput = writeEnd;
  }
  PROCESS_INFORMATION process{};
  // A console of its own, without a window: terminate() attaches to it to
  // send the child alone a Ctrl+C, which is possible only between processes
  // that share a console.
  // Started suspended: it joins the job before it can start children of its own.
  const auto create = [&] {
    return ::CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW | CREATE_SUSPENDED,
                            block.data(), nullptr, &startup, &process);
  };
  BOOL started = create();
  DWORD failure = ::GetLastError();
  // Wine, which runs the Windows build's tests, now and then fails a start
  // on a loaded machine with ERROR_INTERNAL_ERROR, which Windows does not
  // give for a start: it is tried once more.
  if (!started && failure == ERROR_INTERNAL_ERROR) {
    started = create();
    failure = ::GetLastError();
  }
  if (captureOutput) ::CloseHandle(writeEnd);
  if (!started) {
    error = "cannot start " + arguments[0] + ": " + win32::systemErrorText(failure);
    if (captureOutput) ::CloseHandle(readEnd);
    return nullptr;
  }
  if (const HANDLE job = childrenJob()) ::AssignProcessToJobObject(job, process.hProcess);
  ::ResumeThread(process.hThread);
  ::CloseHandle(process.hThread);
  return std::unique_ptr<ChildProcess>(new ChildProcess(static_cast<int>(process.dwProcessId),
                                                        reinterpret_cast<std::intptr_t>(process.hProcess),
                                                        captureOutput ? reinterpret_cast<std::intptr_t>(readEnd) : -1));
}

ChildProcess::~ChildProcess() {
  if (!reaped_) {
    kill();
    wait(-1);
  }
  if (output_ != -1) ::CloseHandle(handleOf(output_));
  ::CloseHandle(handleOf(process_));
}

std::optional<std::string> ChildProcess::readLine(int timeoutMilliseconds) {
  const std::uint32_t start = tickCount();
  for (;;) {
    if (std::optional<std::string> line = takeLine(buffered_)) return line;
    if (output_ == -1) return std::nullopt;
    // Anonymous pipes cannot be waited on: look, and nap while empty.
    DWORD available = 0;
    const bool open = ::PeekNamedPipe(handleOf(output_), nullptr, 0, nullptr, &available, nullptr) != FALSE;
    if (open && available == 0) {
      if (timeoutMilliseconds >= 0 && static_cast<int>(tickCount() - start) >= timeoutMilliseconds) return std::nullopt;
      sleepMilliseconds(2);
      continue;
    }
    char chunk[4096];
    DWORD got = 0;
    if (!open || !::ReadFile(handleOf(output_), chunk, sizeof chunk, &got, nullptr) || got == 0) {
      if (buffered_.empty()) return std::nullopt;
      std::string rest;
      rest.swap(buffered_);
      return rest;
    }
    buffered_.append(chunk, got);
  }
}

void ChildProcess::terminate() {
  if (reaped_) return;
  // A child with a console control handler takes the stop request, console
  // or not; any other gets Ctrl+C through its console.
  if (HANDLE request = ::OpenEventA(EVENT_MODIFY_STATE, FALSE, stopRequestEventName(static_cast<DWORD>(pid_)).c_str())) {
    ::SetEvent(request);
    ::CloseHandle(request);
    return;
  }
  interrupt();
}

void ChildProcess::interrupt() {
  if (reaped_) return;
  // A process can send a control event only to the processes of its own
  // console: leave this one, join the child's, send Ctrl+C to everyone there
  // (the child alone) and come back. This process ignores Ctrl+C from then
  // on, since the event reaches its handler list at some moment after the
  // send; the processes that stop children this way are tests and tools.
  static std::mutex consoleMutex;
  std::lock_guard<std::mutex> lock(consoleMutex);
  ::FreeConsole();
  if (::AttachConsole(static_cast<DWORD>(pid_))) {
    ::SetConsoleCtrlHandler(nullptr, TRUE);
    ::GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0);
    ::FreeConsole();
  }
  ::AttachConsole(ATTACH_PARENT_PROCESS);
}

void ChildProcess::kill() {
  if (!reaped_) ::TerminateProcess(handleOf(process_), 128 + 9);
}

std::optional<int> ChildProcess::wait(int timeoutMilliseconds) {
  if (!reaped_) {
    const DWORD waited =
        ::WaitForSingleObject(handleOf(process_), timeoutMilliseconds < 0 ? INFINITE : static_cast<DWORD>(timeoutMilliseconds));
    if (waited != WAIT_OBJECT_0) return std::nullopt;
    DWORD code = 0;
    ::GetExitCodeProcess(handleOf(process_), &code);
    reaped_ = true;
    status_ = static_cast<int>(code);
  }
  return status_;
}

}  // namespace platform
