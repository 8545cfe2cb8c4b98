#include "rule/delivered_file.h"

#include "platform/file.h"
#include "rule/file_moves.h"
#include "rule/rule_text.h"

namespace trasvik {

void deleteDeliveredFile(const std::string& path, FatalReport report) {
  const int error = platform::removeFile(path);
  if (error == 0) return;
  report("Can't remove file \"%s\", %s", path.c_str(), errnoText(error).c_str());
  throw kMoveFailure;
}

}  // namespace trasvik
