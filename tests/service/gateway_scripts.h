// The scripts the gateway composes, as it composes them (printf patterns
// with %u for handles and %s for texts), and its section object literal.
#pragma once

#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

namespace service_testing {

inline constexpr char kAddressParse[] = "(function(){var r=\"%s\".match(/^EMAIL@(\\w+)\\.(\\w+)$/);return r?[r[1],r[2]]:'';}())";
inline constexpr char kOwnAddress[] =
    "(function(){var u=DravontAddress[\"%u\"];return \"ticker\"in u&&\"service\"in u?\"EMAIL@\"+u.ticker+\".\"+u.service:\"\";})();";
inline constexpr char kMessageSender[] =
    "(function(){var t=DravontMessage[\"%u\"].dravontSender;return\"EMAIL@\"+t.ticker+\".\"+t.service}());";
inline constexpr char kReadParam[] = "readParam(\"%s\");";
inline constexpr char kSaveParam[] = "saveParam(\"%s\",\"%05u\");";
inline constexpr char kFolderName[] = "(function(){var t=EDIFolder[\"%u\"]; return t.folder;})();";
inline constexpr char kStreamName[] = "(function(){var t=DravontStream[\"%u\"];return t.fileName;})();";
inline constexpr char kSetStreamName[] = "DravontStream[\"%u\"].fileName=\"%s\";";
inline constexpr char kCutStreamName[] = "(function(){var t=DravontStream[\"%u\"];return t.fileName=t.fileName.slice(0,-4);})();";
inline constexpr char kClearStreamName[] = "(function(){DravontStream[\"%u\"].fileName = \"\";})();";
inline constexpr char kNotificationUrl[] =
    "function getNotificationURL()\n{\n    if (iniFile.notification) {\n       var url = null;\n\t    try {\n\t       url = "
    "new DravontURL(iniFile.notification.url, 'iniFile.notification');\n\t    }\n\t    catch (err) {\n\t       return "
    "0;\n   \t}\n       return url.handle;\n    }\n    else {\n       return 0;\n    }\n}\ngetNotificationURL()\n";
inline constexpr char kNotificationMessage[] =
    "if (!String.prototype.format) {\n  String.prototype.format = function() {\n    var args = arguments;\n    return "
    "this.replace(/{(\\d+)}/g, function(match, number) {\n      return typeof args[number] != 'undefined'\n        ? "
    "args[number]\n        : match\n      ;\n    });\n  };\n}\nfunction getNotificationMsgHandle()\n{\n    if "
    "(iniFile.notification) {\n\t    var notif = null;\n\t    try {\n\t\t   notif = new "
    "DravontMessage('iniFile.notification');\n\t    }\n\t    catch (err) {\n\t\t   return 0;\n\t    }\n\t    "
    "notif.addRecepient(iniFile.notification.address);\n\t    notif.subject = "
    "notif.subject.format(iniFile.hostname);\n       notif.text='%s';\n\t\treturn notif.handle;\n    }\n\t return "
    "0;\n}\ngetNotificationMsgHandle()\n";

inline std::string format(const char* pattern, ...) {
  char buffer[4096];
  va_list arguments;
  va_start(arguments, pattern);
  std::vsnprintf(buffer, sizeof buffer, pattern, arguments);
  va_end(arguments);
  return buffer;
}

inline std::string escaped(const std::string& text) {
  std::string out;
  for (const char c : text) {
    if (c == '"' || c == '\'' || c == '\\') out.push_back('\\');
    out.push_back(c);
  }
  return out;
}

// The gateway's section object literal for the keys of one INI section.
inline std::string sectionLiteral(const std::vector<std::pair<std::string, std::string>>& keys) {
  std::string script = "(function(){var o={};";
  for (const auto& [key, value] : keys) {
    std::string compact;
    for (const char c : value) {
      if (!std::isspace(static_cast<unsigned char>(c))) compact.push_back(c);
    }
    if (compact.starts_with("function(){")) {
      script += "o.__defineGetter__(\"" + escaped(key) + "\"," + value + ");";
    } else {
      script += "o[\"" + escaped(key) + "\"]=\"" + escaped(value) + "\";";
    }
  }
  return script + "return o;})();";
}

}  // namespace service_testing
