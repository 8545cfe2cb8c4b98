#include "qnsys/ini_session.h"

#include <cerrno>
#include <mutex>
#include <optional>
#include <utility>

#include "platform/code_page.h"
#include "platform/file.h"
#include "platform/path.h"
#include "qnsys/qnsys.h"
#include "text/declared_encoding.h"

namespace qnsys {

namespace {

struct IniState {
  std::mutex mutex;
  std::shared_ptr<const OpenIni> open;
};

// Never destroyed, so the library stays usable from other objects'
// destructors at process exit.
IniState& iniState() {
  static IniState* const state = new IniState;
  return *state;
}

void replaceOpenIni(std::shared_ptr<const OpenIni> ini) {
  IniState& state = iniState();
  std::shared_ptr<const OpenIni> previous;
  {
    std::lock_guard<std::mutex> lock(state.mutex);
    previous = std::exchange(state.open, std::move(ini));
  }
  // `previous` is released here, outside the lock.
}

// The QNERROR_ code for an errno value from reading an INI file.
unsigned int iniReadError(int errorNumber) {
  switch (errorNumber) {
    case 0:
      return 0;
    case ENOENT:
    case ENOTDIR:
      return QNERROR_FILE_NOT_FOUND;
    case EISDIR:
      return QNERROR_IS_DIRECTORY;
    case EACCES:
    case EPERM:
      return QNERROR_ACCESS_DENIED;
    case ENAMETOOLONG:
      return QNERROR_BAD_PATH;
    default:
      return QNERROR_READ_FAILED;
  }
}

}  // namespace

unsigned int openIni(const char* path) {
  replaceOpenIni(nullptr);
  if (path == nullptr || *path == '\0') return QNERROR_INVALID_ARGUMENT;

  std::optional<std::string> absolute = platform::absolutePath(path);
  if (!absolute) return QNERROR_BAD_PATH;

  // Devices and FIFOs are refused before reading: a read could block or never
  // end.
  platform::FileFacts facts;
  if (const int error = platform::fileFacts(*absolute, facts)) return iniReadError(error);
  if (facts.kind == platform::FileKind::kDirectory) return QNERROR_IS_DIRECTORY;
  if (facts.kind != platform::FileKind::kRegular) return QNERROR_NOT_REGULAR_FILE;

  std::string contents;
  if (const int error = platform::readWholeFile(*absolute, contents)) return iniReadError(error);

  // A byte order mark says how to read the rest; without one the bytes are
  // taken as they are, in the ANSI code page. Garbage is never parsed.
  const text::DeclaredText declared = text::readDeclaredText(contents);
  if (!declared.readable) return QNERROR_BAD_ENCODING;
  auto ini = std::make_shared<OpenIni>();
  ini->path = std::move(*absolute);
  ini->encoding = static_cast<int>(declared.encoding);
  if (declared.encoding == text::DeclaredEncoding::kNone) {
    ini->file = IniFile::parse(declared.text);
  } else {
    ini->file = IniFile::parse(declared.text, platform::ansiFromUtf8, ini->refused);
  }
  replaceOpenIni(std::move(ini));
  return 0;
}

void closeIni() { replaceOpenIni(nullptr); }

std::shared_ptr<const OpenIni> currentIni() {
  IniState& state = iniState();
  std::lock_guard<std::mutex> lock(state.mutex);
  return state.open;
}

}  // namespace qnsys
