// The names received attachments are saved under in an incoming directory:
// the attachment's own name made safe, the process-wide counter names, and
// the dated names of the `firm` modes 1 and 2. Shared by the rule kinds;
// main thread only.
#pragma once

#include <cstddef>
#include <ctime>
#include <functional>
#include <set>
#include <string>

namespace trasvik {

class Rule;

// Whether a name (without directory) is already in use where the file is
// to be saved. A name ending in kAnyExtension stands for its base with any
// extension of three characters; every other name is compared byte for
// byte (a sender's "*.txt" is a name like any other).
using NameTaken = std::function<bool(const std::string& name)>;
inline constexpr char kAnyExtension[] = ".???";

// NameTaken for `directory` (ending in a separator) and the names already
// chosen for the message being saved, names compared as the file system
// compares them (platform::sameFileName).
bool nameTakenIn(const std::string& directory, const std::string& name, const std::set<std::string>& chosen);

// An attachment name from a remote sender reduced to a name that can only
// lie inside the directory it is saved to: its last path component (after
// the last '/' or '\'). Empty when that is empty, "." or "..", or holds a
// control character: then the attachment counts as one without a name.
// A name longer than kLongestReceivedName bytes is shortened to that,
// keeping an extension of up to kLongestKeptExtension bytes and never
// splitting a UTF-8 character, so that " (k)", ".inf" and the like still
// fit the file system's limit of 255 bytes.
// A directory deep enough to leave less room (longestReceivedNameIn) gives
// `longest`, and the name is cut to that the same way; an extension that
// would leave no room for the rest is dropped.
inline constexpr std::size_t kLongestReceivedName = 200;
inline constexpr std::size_t kLongestKeptExtension = 32;
// Where the system follows the Windows rules for names, the name is then
// made one that Windows can hold (windowsSafeName).
std::string safeAttachmentName(const std::string& fileName, std::size_t longest = kLongestReceivedName);

// What a received file's path may hold beyond its name: " (99999)" when
// the name is taken, and ".inf" for its information file.
inline constexpr std::size_t kReceivedNameReserve = sizeof(" (99999)") - 1 + sizeof(".inf") - 1;
// Below this, not even the gateway's counter names ("bbs12345.001") and
// dated names fit.
inline constexpr std::size_t kShortestReceivedNameRoom = 16;

// The longest name a file received into `directory` (absolute, ending in a
// separator) may have, so that its whole path, with kReceivedNameReserve,
// stays within `longestPath` bytes: Windows' MAX_PATH binds the programs
// that read an incoming directory, whatever the gateway's own calls could
// open. kLongestReceivedName at most; 0 when less than
// kShortestReceivedNameRoom is left. Bytes, never fewer than the
// characters they spell, so the limit holds in every code page.
std::size_t longestReceivedNameIn(const std::string& directory, std::size_t longestPath);

// A name Windows can hold: each of < > : " | ? * becomes '_', trailing dots
// and blanks are dropped, and a device name (CON, PRN, AUX, NUL, COM0-9,
// LPT0-9, in any case, alone or before an extension) gets a leading '_'.
// Empty when nothing is left.
std::string windowsSafeName(std::string name);

// The name's part from its last '.' on (dot included), or "".
std::string nameExtension(const std::string& name);

// The sender's ticker (senderTicker) as a piece of a file name: a '/', '\'
// or control character in it (and, under the Windows rules, each of
// < > : " | ? *) becomes '_', and it is cut to
// kLongestTickerInName bytes (never within a UTF-8 character), so that the
// dated names stay within the file system's limit.
inline constexpr std::size_t kLongestTickerInName = 64;
std::string tickerForName(const std::string& sender);

// firm 0, an attachment with a name: the name itself, else the first free
// "base (k).ext" for k = 2, 3, ... (as uniqueName forms them).
std::string ownName(const std::string& name, const NameTaken& taken);

// Five digits of the process-wide received-file counter, advanced before
// each try (99999 wraps to 1) until the name with `suffix` is free. The
// counter starts at (milliseconds since system start modulo 99999) + 1.
// Returns the name with its suffix.
std::string counterName(const std::string& suffix, const NameTaken& taken);

// The dated name "YYMMDD-ticker-NNNNN" + extension of the `firm` modes 1
// and 2, shortened to `longest` bytes like an attachment's own
// name: the extension is cut first, then the ticker (never within a UTF-8
// character), so that the name with " (k)" and ".inf" fits the file
// system's limit whatever the sender's ticker and extension.
std::string datedName(const std::tm& date, const std::string& ticker, unsigned number, const std::string& extension,
                      std::size_t longest = kLongestReceivedName);

// firm 1: datedName with the UTC date `today` and the first free number of
// the persistent sequence counter, which is then advanced once more and
// stored. A failing script throws ScriptError.
std::string sequenceName(const std::tm& today, const std::string& ticker, const std::string& extension,
                         const NameTaken& taken, std::size_t longest = kLongestReceivedName);

// firm 2: datedName (cut to rule.longestName) with the rule's own count of
// the day: a new UTC date
// `today` restarts rule.dayCounter; it is advanced before each try until
// the name is free.
std::string dayName(Rule& rule, const std::tm& today, const std::string& ticker, const std::string& extension,
                    const NameTaken& taken);

}  // namespace trasvik
