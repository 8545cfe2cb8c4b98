// The text that explains a provider failure: a prefix, the provider's text
// for the code, then one line per error line the provider still holds.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "dravontaux64/provider_interface.h"

namespace dravontaux64 {

// Uses functions.getErrorText, getErrorLineEx and freeMem, which must be set.
// Every text the provider hands out is freed before this returns.
std::string providerErrorText(const ProviderFunctions& functions, VcertContext context, std::string_view prefix,
                              std::uint32_t code);

}  // namespace dravontaux64
