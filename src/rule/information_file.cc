#include "rule/information_file.h"

#include <string_view>

#include "platform/path.h"
#include "rule/received_file.h"
#include "trasvik/gateway_log.h"
#include "trasvik/message_info.h"
#include "trasvik/session.h"
#include "trasvik/settings.h"

namespace trasvik {

namespace {

// The labels in Windows-1251 bytes (the file's readers expect that code
// page); each "\n" ends the line before, and the text-mode stream writes it
// as CR LF.
constexpr std::string_view kOwner = "\xE2\xEB\xE0\xE4\xE5\xEB\xE5\xF6: ";  // "владелец: "
constexpr std::string_view kKeyNotBefore =
    "\n\xEA\xEB\xFE\xF7 \xE4\xE5\xE9\xF1\xF2\xE2\xF3\xE5\xF2 \xED\xE5 \xF0\xE0\xED\xE5\xE5: ";  // "ключ действует не ранее: "
constexpr std::string_view kKeyNotAfter =
    "\n\xEA\xEB\xFE\xF7 \xE4\xE5\xE9\xF1\xF2\xE2\xF3\xE5\xF2 \xED\xE5 \xEF\xEE\xE7\xE6\xE5: ";  // "ключ действует не позже: "
constexpr std::string_view kCertificateNotBefore =
    "\n\xF1\xE5\xF0\xF2\xE8\xF4\xE8\xEA\xE0\xF2 \xE4\xE5\xE9\xF1\xF2\xE2\xF3\xE5\xF2 \xED\xE5 "
    "\xF0\xE0\xED\xE5\xE5: ";  // "сертификат действует не ранее: "
constexpr std::string_view kCertificateNotAfter =
    "\n\xF1\xE5\xF0\xF2\xE8\xF4\xE8\xEA\xE0\xF2 \xE4\xE5\xE9\xF1\xF2\xE2\xF3\xE5\xF2 \xED\xE5 "
    "\xEF\xEE\xE7\xE6\xE5: ";  // "сертификат действует не позже: "
constexpr std::string_view kSerial = "\n\xF1\xE5\xF0\xE8\xE9\xED\xFB\xE9 \xED\xEE\xEC\xE5\xF0: ";  // "серийный номер: "

// One write of the stream; false when the service took fewer bytes.
bool write(Quillex::DravontStream_s& stream, std::string_view bytes) {
  const auto size = static_cast<unsigned>(bytes.size());
  return Quillex::StreamWrite(&stream, bytes.data(), size) == size;
}

bool writeLines(Quillex::DravontStream_s& stream, const AttachmentInfo& a) {
  return write(stream, kOwner) && write(stream, a.dn) && write(stream, kKeyNotBefore) &&
         write(stream, a.keyNotBefore) && write(stream, kKeyNotAfter) && write(stream, a.keyNotAfter) &&
         write(stream, kCertificateNotBefore) && write(stream, a.certNotBefore) &&
         write(stream, kCertificateNotAfter) && write(stream, a.certNotAfter) && write(stream, kSerial) &&
         write(stream, a.serial);
}

}  // namespace

bool wantsInformationFile(const AttachmentInfo& attachment) {
  return settings().recvDNinfo && !attachment.dn.empty();
}

std::string informationPath(const std::string& incomingDirectory, const std::string& name) {
  std::string prefix = settings().recvDNprefix;
  for (char& c : prefix) {
    // Where '\' separates nothing, the Windows separator is read as '/'.
    if (c == '\\' && !platform::isPathSeparator(c)) c = '/';
  }
  return incomingDirectory + prefix + name;
}

void writeInformationFile(const std::string& path, const AttachmentInfo& attachment) {
  const std::string directory = platform::directoryPrefix(path);
  const std::string name = platform::baseName(path);
  ReceivedFile file;
  if (!file.create(directory, "wt+")) {
    lastError();  // a lost session leaves here
    GATEWAY_ERROR("Can't open file \"%s\" for writing", path.c_str());
    return;
  }
  if (!writeLines(file.stream(), attachment)) {
    const std::string error = lastError();
    GATEWAY_ERROR("Error writing to file \"%s\": \"%s\"", path.c_str(), error.c_str());
    return;
  }
  file.place(name);
}

}  // namespace trasvik
