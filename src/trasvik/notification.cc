#include "trasvik/notification.h"

#include <cstdarg>

#include "dravont/dravontdll.h"
#include "trasvik/gateway_log.h"
#include "trasvik/script_bridge.h"
#include "trasvik/script_texts.h"
#include "trasvik/session.h"
#include "trasvik/settings.h"
#include "trasvik/text_format.h"

namespace trasvik {

namespace {

Quillex::DravontURL notificationUrl{};
bool haveNotificationUrl = false;

}  // namespace

void prepareNotificationUrl() {
  haveNotificationUrl = false;
  LibraryText result;
  if (!runScript(scripts::kNotificationUrl, result)) {
    const std::string error = lastError();
    GATEWAY_WARNING("Can' get notification url: \"%s\"", error.c_str());
    return;
  }
  const long handle = result.number();
  if (handle == 0) return;
  if (Quillex::InitDravontURLByHandle(&notificationUrl, serviceContext(), static_cast<unsigned>(handle)) != 0) {
    GATEWAY_WARNING("Can' initialize notification url");
    return;
  }
  haveNotificationUrl = true;
}

void releaseNotificationUrl() {
  if (!haveNotificationUrl) return;
  Quillex::FreeDravontURL(&notificationUrl);
  haveNotificationUrl = false;
}

void postNotification(const std::string& text) {
  if (settings().checkOnly) return;  // a check reports on its console only
  if (!haveNotificationUrl || Quillex::GetDravontURLHandle(&notificationUrl) == 0) return;

  std::string oneLine = text;
  for (char& c : oneLine) {
    if (c == '\n' || c == '\r') c = ' ';
  }
  LibraryText result;
  if (!runScript(formatText(scripts::kNotificationMessage, escapeScriptText(oneLine).c_str()), result)) {
    const std::string error = lastError();
    GATEWAY_WARNING("Can't get notification message: \"%s\"", error.c_str());
    return;
  }
  Quillex::DravontMessage_s message{};
  if (Quillex::InitDravontMessageByHandle(&message, serviceContext(), static_cast<unsigned>(result.number())) != 0) {
    GATEWAY_WARNING("Can' initialize notification message");
    return;
  }
  LibraryText messageId;
  if (Quillex::PostMessageTo(&message, &notificationUrl, messageId.out()) != 0) {
    const std::string error = lastError();
    GATEWAY_ERROR("Can't post notification message: \"%s\" error %s", oneLine.c_str(), error.c_str());
  } else {
    GATEWAY_WARNING("Posted notification \"%s\" with id \"%s\"", oneLine.c_str(),
                    messageId.c_str());
  }
  Quillex::FreeDravontMessage(&message);
}

void postNotificationIfConnected(const std::string& text) {
  try {
    postNotification(text);
  } catch (const ContextError&) {
    GATEWAY_WARNING("Can't post notification \"%s\": the service session is lost", text.c_str());
  }
}

void reportCantContinue(const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  const std::string text = formatTextV(format, arguments);
  va_end(arguments);
  GATEWAY_FATAL("%s", text.c_str());
  postNotification("Trasvik can't continue - " + text);
}

void reportFatal(const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  const std::string text = formatTextV(format, arguments);
  va_end(arguments);
  GATEWAY_FATAL("%s", text.c_str());
  postNotification(text);
}

}  // namespace trasvik
