// The gateway's log: every record goes through the host library with the
// facility "Brivane". Informational, warning and error records use the
// guarded call sites of qnsys.h (the level flag is cached per site, so a
// disabled level costs no formatting); fatal records are always written.
#pragma once

#include <functional>
#include <string>

#include "qnsys/qnsys.h"

namespace trasvik {

inline constexpr char kLogFacility[] = "Brivane";

// Writes a fatal record, and hands its text to the observer when there is
// one (a service writes it to the system's event log as well).
void logFatal(const char* format, ...) QNSYS_PRINTF(1, 2);
// A failure before the log is open: printed, and handed to the observer
// of fatal records (a service, which has no console, writes it to the
// system's event log).
void reportStartFailure(const std::string& text);
// The observer of fatal records from now on; an empty one ends it.
void observeFatalRecords(std::function<void(const std::string& text)> observer);

}  // namespace trasvik

#define GATEWAY_INFO(format, ...) QN_LOG_INFO(::trasvik::kLogFacility, format __VA_OPT__(, ) __VA_ARGS__)
#define GATEWAY_INFO0(format) QN_LOG_INFO0(::trasvik::kLogFacility, format)
#define GATEWAY_WARNING(format, ...) QN_LOG_WARNING(::trasvik::kLogFacility, format __VA_OPT__(, ) __VA_ARGS__)
#define GATEWAY_ERROR(format, ...) QN_LOG_ERROR(::trasvik::kLogFacility, format __VA_OPT__(, ) __VA_ARGS__)
#define GATEWAY_FATAL(format, ...) ::trasvik::logFatal(format __VA_OPT__(, ) __VA_ARGS__)
