// Debug records ("loglevel=debug"): what an administrator tracing a problem
// needs, written through the host library's debug call where it has one. A
// host library without it is used all the same; debug records are then not
// written.
#pragma once

#include <string>

#include "text/printf_format.h"

namespace trasvik {

// True while the host library writes debug records.
bool debugEnabled();

// Writes one debug record (facility "Brivane"); nothing when disabled.
void writeDebug(const char* format, ...) TRASVIK_PRINTF(1, 2);

// Seconds with milliseconds, for durations in records ("1.250").
std::string secondsText(double seconds);

}  // namespace trasvik

// The arguments are evaluated only while debug records are written.
#define GATEWAY_DEBUG(format, ...)                                                    \
  do {                                                                                \
    if (::trasvik::debugEnabled()) ::trasvik::writeDebug(format __VA_OPT__(, ) __VA_ARGS__); \
  } while (0)
