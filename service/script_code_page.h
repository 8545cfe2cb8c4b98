// Texts between the service and the engine that runs its scripts. The
// service keeps texts as its clients send them: bytes in the ANSI code page
// on Windows (a notification script with a path in Windows-1251), UTF-8 on
// POSIX systems. The engine reads script source, and keeps its strings, in
// UTF-8. So script code and every text handed to the engine go in as
// UTF-8, and every text that comes out goes back into the code page; on
// POSIX systems nothing changes. Thread-safe.
#pragma once

#include <string>
#include <string_view>

namespace dravont_service {

// A text of the service's for the engine. Bytes that are no character of
// the code page are left as they are (the engine then refuses such code).
std::string engineText(std::string_view hostText);

// A text of the engine's for the service; a character the code page cannot
// write becomes '?'.
std::string hostText(std::string_view engineText);

}  // namespace dravont_service
