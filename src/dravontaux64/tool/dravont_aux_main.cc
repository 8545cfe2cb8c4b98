// dravont-aux: runs AttachSignature or DetachSignature on one argument text,
// the way an outside caller of libdravontaux64.so does, so the converter can
// be used from a shell:
//
//   dravont-aux attach|detach 'log*level*path1*path2*path3'
//
// The converter reports only to its log, so the command exits 0 whatever the
// conversion did, and says where that log is. Exit status 2: wrong usage.
#include <cstdio>
#include <cstring>
#include <string>

#include "dravontaux64/argument_text.h"
#include "dravontaux64/dravontaux64.h"
#include "platform/path.h"

namespace {

int usage() {
  std::fprintf(stderr, "Usage: dravont-aux attach|detach 'log*level*path1*path2*path3'\n");
  return 2;
}

std::string absoluteLogPath(const std::string& logPath) {
  if (!platform::isRelativePath(logPath)) return logPath;
  const auto directory = platform::currentDirectory();
  return directory ? platform::joinPath(*directory, logPath) : logPath;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) return usage();
  const bool attach = std::strcmp(argv[1], "attach") == 0;
  if (!attach && std::strcmp(argv[1], "detach") != 0) return usage();

  const char* arguments = argv[2];
  if (attach) {
    AttachSignature(nullptr, nullptr, arguments, 0);
  } else {
    DetachSignature(nullptr, nullptr, arguments, 0);
  }

  const auto fields = dravontaux64::splitArgumentText(arguments);
  if (fields.size() < dravontaux64::kRequiredFieldCount) {
    std::printf("Fewer than five fields in the argument text: nothing was done, nothing was logged.\n");
  } else {
    std::printf("Converter log: %s\n", absoluteLogPath(fields[dravontaux64::kLogPathField]).c_str());
  }
  return 0;
}
