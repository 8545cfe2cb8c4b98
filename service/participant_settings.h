// A participant's settings file, the INI file a client names in
// "InitContext":
//   [self]          ticker, service (address EMAIL@ticker.service),
//                   hostname (optional; else the machine's host name)
//   [signature]     dn, key_not_before, key_not_after, cert_not_before,
//                   cert_not_after, serial: stamped on what it sends signed
//   [notification]  optional: url, address, subject (may hold {0})
// Every section is also offered to scripts as `iniFile`. Plain value.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "message.h"
#include "qnsys/ini_file.h"

namespace dravont_service {

// Status codes "InitContext" answers with context 0.
inline constexpr int kSettingsUnreadable = 1;  // missing, not a file, no permission
inline constexpr int kSettingsIncomplete = 2;  // a required section or key is missing or empty
inline constexpr int kServiceFailure = 3;      // the service could not open the context

struct ParticipantSettings {
  std::string path;
  std::string ticker;
  std::string service;
  std::string hostname;
  SignatureAttributes signature;
  bool hasNotification = false;
  // Every section in file order, with its keys in file order.
  std::vector<std::pair<std::string, std::vector<qnsys::IniEntry>>> sections;

  std::string address() const { return "EMAIL@" + ticker + "." + service; }
  // The value of a key, "" when absent.
  std::string value(const std::string& section, const std::string& key) const;
};

// Reads and checks a settings file. On failure returns nullopt and sets
// `error` to a text naming the file and what is wrong, and `status` to one of
// the codes above.
std::optional<ParticipantSettings> loadParticipantSettings(const std::string& path, std::string& error, int& status);

// The same for settings already read (used by the loader and the tests).
std::optional<ParticipantSettings> parseParticipantSettings(const std::string& path, const std::string& text,
                                                            std::string& error);

}  // namespace dravont_service
