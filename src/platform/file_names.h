// What the system's file names may hold beyond the POSIX rules (no '/', no
// NUL): Windows refuses more, and the gateway makes received names fit.
#pragma once

namespace platform {

// True where file names follow the Windows rules: none of the characters
// < > : " | ? * or control characters, no trailing dot or blank, and no
// device name (CON, PRN, AUX, NUL, COM0-COM9, LPT0-LPT9) with or without an
// extension.
bool fileNamesFollowWindowsRules();

}  // namespace platform
