// Paths as the service's clients name them. A Windows program under Wine
// names its files the Windows way ("C:\users\me\in\a.txt"); a service that
// runs outside Wine on the same machine, told the Wine prefix, opens them
// where Wine keeps them: drive X: is the link PREFIX/dosdevices/x: that
// Wine made, and each '\' separates two names. Thread-safe.
#pragma once

#include <string>

namespace dravont_service {

// The path to open for `clientPath`: the Wine file of a Windows drive path
// ("X:" alone or followed by '\' or '/') when `winePrefix` is given, else
// `clientPath` itself. The names are kept as they come: Wine finds a name
// in any letter case, this mapping only in the case the file has.
std::string localPath(const std::string& clientPath, const std::string& winePrefix);

}  // namespace dravont_service
