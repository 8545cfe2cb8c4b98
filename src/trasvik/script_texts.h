// The scripts the gateway has the service evaluate, as printf patterns: %u
// stands for a library handle number, %s for a text that must first go
// through escapeScriptText (script_bridge.h). These texts are what the
// service's script environment is built and tested against; change them
// only together with it.
#pragma once

namespace trasvik::scripts {

// Splits "EMAIL@ticker.service" into "ticker,service" (empty when it is no
// address).
inline constexpr char kParseAddress[] = "(function(){var r=\"%s\".match(/^EMAIL@(\\w+)\\.(\\w+)$/);return r?[r[1],r[2]]:'';}())";

// The address text of an address handle, empty when it has no ticker or
// service.
inline constexpr char kAddressText[] =
    "(function(){var u=DravontAddress[\"%u\"];return \"ticker\"in u&&\"service\"in u?\"EMAIL@\"+u.ticker+\".\"+u.service:\"\";})();";

// The sender address of a received message.
inline constexpr char kMessageSender[] =
    "(function(){var t=DravontMessage[\"%u\"].dravontSender;return\"EMAIL@\"+t.ticker+\".\"+t.service}());";

// The persistent parameters that hold the sequence counter.
inline constexpr char kReadParam[] = "readParam(\"%s\");";
inline constexpr char kSaveParam[] = "saveParam(\"%s\",\"%05u\");";

// The name of a service folder.
inline constexpr char kFolderName[] = "(function(){var t=EDIFolder[\"%u\"]; return t.folder;})();";

// The file name a stream is attached under: read, set, cut by four
// characters (".001" of a data file), cleared.
inline constexpr char kStreamFileName[] = "(function(){var t=DravontStream[\"%u\"];return t.fileName;})();";
inline constexpr char kSetStreamFileName[] = "DravontStream[\"%u\"].fileName=\"%s\";";
inline constexpr char kCutStreamFileName[] =
    "(function(){var t=DravontStream[\"%u\"];return t.fileName=t.fileName.slice(0,-4);})();";
inline constexpr char kClearStreamFileName[] = "(function(){DravontStream[\"%u\"].fileName = \"\";})();";

// The handle of the notification URL from the service's settings, 0 when
// notifications are not configured.
inline constexpr char kNotificationUrl[] =
    "function getNotificationURL()\n{\n    if (iniFile.notification) {\n       var url = null;\n\t    try {\n\t       url = "
    "new DravontURL(iniFile.notification.url, 'iniFile.notification');\n\t    }\n\t    catch (err) {\n\t       return "
    "0;\n   \t}\n       return url.handle;\n    }\n    else {\n       return 0;\n    }\n}\ngetNotificationURL()\n";

// A prepared notification message with the text in place of %s (inside a
// single-quoted literal), 0 when notifications are not configured.
inline constexpr char kNotificationMessage[] =
    "if (!String.prototype.format) {\n  String.prototype.format = function() {\n    var args = arguments;\n    return "
    "this.replace(/{(\\d+)}/g, function(match, number) {\n      return typeof args[number] != 'undefined'\n        ? "
    "args[number]\n        : match\n      ;\n    });\n  };\n}\nfunction getNotificationMsgHandle()\n{\n    if "
    "(iniFile.notification) {\n\t    var notif = null;\n\t    try {\n\t\t   notif = new "
    "DravontMessage('iniFile.notification');\n\t    }\n\t    catch (err) {\n\t\t   return 0;\n\t    }\n\t    "
    "notif.addRecepient(iniFile.notification.address);\n\t    notif.subject = "
    "notif.subject.format(iniFile.hostname);\n       notif.text='%s';\n\t\treturn notif.handle;\n    }\n\t return "
    "0;\n}\ngetNotificationMsgHandle()\n";

}  // namespace trasvik::scripts
