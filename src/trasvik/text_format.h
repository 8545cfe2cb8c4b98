// printf-style formatting into a std::string of any length.
#pragma once

#include <cstdarg>
#include <string>

namespace trasvik {

std::string formatText(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string formatTextV(const char* format, va_list arguments) __attribute__((format(printf, 1, 0)));

}  // namespace trasvik
