// The result codes of the library's int exports.
#pragma once

namespace Quillex {

inline constexpr int kResultSuccess = 0;
inline constexpr int kResultInvalidArgument = 1;      // a NULL pointer where one is required
inline constexpr int kResultServiceError = 2;         // the service's error text is the last error
inline constexpr int kResultCallFailed = 3;           // the XML-RPC call itself failed
inline constexpr int kResultCannotReturnString = 4;   // no callback, or the callback returned NULL

}  // namespace Quillex
