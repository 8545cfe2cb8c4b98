// Fatal-error notifications: a short message, prepared by the service from
// its own notification settings, that tells an administrator the gateway
// has stopped. Notifying never changes the caller's course: every problem
// is logged and swallowed (but a lost session still throws ContextError).
#pragma once

#include "text/printf_format.h"

#include <string>

namespace trasvik {

// Asks the service for its notification URL; without one, notifications
// are off. Problems are warnings.
void prepareNotificationUrl();
// Frees the notification URL, if there is one.
void releaseNotificationUrl();

// Sends one notification with `text` (line breaks become blanks).
void postNotification(const std::string& text);

// As postNotification, for a gateway that is stopping anyway: a lost
// session only costs the notification (a warning says so).
void postNotificationIfConnected(const std::string& text);

// A condition the gateway cannot continue from: the fatal record with the
// formatted text, and the notification "Trasvik can't continue - " + text.
void reportCantContinue(const char* format, ...) TRASVIK_PRINTF(1, 2);

// The fatal record and a notification of the same text, without prefix.
void reportFatal(const char* format, ...) TRASVIK_PRINTF(1, 2);

}  // namespace trasvik
