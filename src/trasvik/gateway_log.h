// The gateway's log: every record goes through the host library with the
// facility "Brivane". Informational, warning and error records use the
// guarded call sites of qnsys.h (the level flag is cached per site, so a
// disabled level costs no formatting); fatal records are always written.
#pragma once

#include "qnsys/qnsys.h"

namespace trasvik {

inline constexpr char kLogFacility[] = "Brivane";

}  // namespace trasvik

#define GATEWAY_INFO(format, ...) QN_LOG_INFO(::trasvik::kLogFacility, format __VA_OPT__(, ) __VA_ARGS__)
#define GATEWAY_INFO0(format) QN_LOG_INFO0(::trasvik::kLogFacility, format)
#define GATEWAY_WARNING(format, ...) QN_LOG_WARNING(::trasvik::kLogFacility, format __VA_OPT__(, ) __VA_ARGS__)
#define GATEWAY_ERROR(format, ...) QN_LOG_ERROR(::trasvik::kLogFacility, format __VA_OPT__(, ) __VA_ARGS__)
#define GATEWAY_FATAL(format, ...) QN_LOG_FATAL(::trasvik::kLogFacility, format __VA_OPT__(, ) __VA_ARGS__)
