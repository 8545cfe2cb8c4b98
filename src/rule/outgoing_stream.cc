#include "rule/outgoing_stream.h"

#include <cerrno>

#include "platform/clock.h"
#include "platform/file.h"
#include "rule/rule_text.h"
#include "rule/skip_reports.h"
#include "rule/unopenable_files.h"
#include "trasvik/gateway_log.h"
#include "trasvik/notification.h"
#include "trasvik/session.h"
#include "trasvik/settings.h"

namespace trasvik {

namespace {

bool probe(const std::string& path, Quillex::DravontStream_s& stream) {
  const int attempts = settings().fileTimeout;
  for (int attempt = 0; attempt < attempts; ++attempt) {
    if (Quillex::InitDravontStreamFromFile(&stream, serviceContext(), path.c_str(), "rbE", "") == 0) return true;
    platform::sleepMilliseconds(1);
  }
  return false;
}

}  // namespace

std::string refusalToSend(const std::string& path) {
  const int error = platform::checkReadable(path);
  if (error == 0) return {};
  if (error == ELOOP) return "is a symbolic link";
  if (error == EINVAL) return "is not a regular file";
  if (error == EBUSY) return "cannot be read: another program has it open without sharing it";
  return "cannot be read: " + errnoText(error);
}

void reportUnopened(const std::string& path, const std::string& shown, const std::string& reason) {
  if (isNewReport(path, reason)) GATEWAY_ERROR("Can't init stream, file: \"%s\", %s", shown.c_str(), reason.c_str());
}

bool openOutgoingFile(const std::string& path, Quillex::DravontStream_s& stream) {
  std::string error = refusalToSend(path);
  if (error.empty() && !probe(path, stream)) error = lastError();
  if (!error.empty()) {
    // A file that stays unopenable is reported once, not once a pass.
    reportUnopened(path, path, error);
    if (addUnopenable(path)) postNotification("Can't init stream, file: \"" + path + "\", " + error);
    return false;
  }
  clearReport(path);
  // The probe's stream reads the file from its start like a plain "rb"
  // stream, so it is the one sent: closing it and opening the file again
  // would cost two calls per file and change nothing.
  forgetUnopenable(path);
  return true;
}

}  // namespace trasvik
