// printf-style formatting into a std::string of any length.
#pragma once

#include "text/printf_format.h"

#include <cstdarg>
#include <string>

namespace trasvik {

std::string formatText(const char* format, ...) TRASVIK_PRINTF(1, 2);
std::string formatTextV(const char* format, va_list arguments) TRASVIK_PRINTF(1, 0);

}  // namespace trasvik
