#include "dravontaux64/dravont_aux64.h"

#include <cstring>
#include <exception>
#include <system_error>

#include "dravontaux64/file_log.h"
#include "dravontaux64/provider_error_text.h"

namespace dravontaux64 {

std::unique_ptr<DravontAux64> DravontAux64::create(const std::string& logPath, const std::string& levelName) {
  FILELog::reportingLevel() = FILELog::fromString(levelName);
  // Binary: the records bring their own CR LF line ends (file_log.h), which a
  // text-mode stream on Windows would turn into CR CR LF.
  std::FILE* logFile = std::fopen(logPath.c_str(), "ab");
  Output2FILE::logStream() = logFile;
  std::unique_ptr<DravontAux64> converter(new DravontAux64(logFile));
  try {
    converter->provider_ = bindProvider();
    converter->initContext();
    return converter;
  } catch (const std::exception& failure) {
    FILE_LOG(LogLevel::kError) << failure.what();
  } catch (const std::string& text) {
    FILE_LOG(LogLevel::kError) << text;
  } catch (const char* text) {
    FILE_LOG(LogLevel::kError) << text;
  } catch (...) {
    FILE_LOG(LogLevel::kError) << "Unknown exception in pDravontAux64 constructor";
  }
  return nullptr;  // the destructor releases what was set up
}

DravontAux64::~DravontAux64() {
  if (context_ != nullptr) provider_.functions.uninitialize(context_);
  provider_.library.reset();
  if (logFile_ != nullptr) {
    if (Output2FILE::logStream() == logFile_) Output2FILE::logStream() = nullptr;
    std::fclose(logFile_);
  }
}

void DravontAux64::initContext() {
  const std::uint32_t code = provider_.functions.initMinimal(&context_);
  if (code != 0) {
    context_ = nullptr;  // a failed initialisation leaves nothing to end
    throw std::system_error(0, std::system_category(), errorText("Can't init minimal crypto context ", code));
  }
}

std::string DravontAux64::errorText(const char* prefix, std::uint32_t code) const {
  return providerErrorText(provider_.functions, context_, prefix, code);
}

void DravontAux64::attachSignature(const char* path1, const char* path2, const char* path3) {
  const ProviderFunctions& f = provider_.functions;
  const std::uint32_t code = kind() == ProviderKind::kSix ? f.cmsBlkSignAttachFile(context_, path1, path2, path3, 0)
                                                          : f.attachSignFile(context_, path1, path2, path3);
  if (code != 0) {
    FILE_LOG(LogLevel::kError) << errorText("Error attaching signature to large file ", code);
  }
}

std::uint32_t DravontAux64::readEmbeddedCount(const char* path, std::uint32_t& embeddedCount) {
  const ProviderFunctions& f = provider_.functions;
  const bool six = kind() == ProviderKind::kSix;
  alignas(8) unsigned char record[kMessageInfoRecordSize6] = {};
  const std::uint32_t code = six ? f.cmsStrMsgInfFile(context_, path, record, 0) : f.signedInfoFile(context_, path, record);
  embeddedCount = 0;
  if (code == 0) {
    std::memcpy(&embeddedCount, record + (six ? kMessageInfoCountOffset6 : kSignedInfoCountOffset5),
                sizeof embeddedCount);
  }
  // The record holds provider memory only after a success or the "not a
  // signed message" answer; other failures leave it as it was handed in.
  if (code == 0 || code == (six ? kNotSignedMessage6 : kNotSignedMessage5)) {
    if (six) {
      f.cmsFreeMsgInf(context_, record);
    } else {
      f.freeSignedInfoResult(context_, record);
    }
  }
  return code;
}

void DravontAux64::detachSignature(const char* path1, const char* path2, const char* path3) {
  const bool six = kind() == ProviderKind::kSix;
  std::uint32_t embeddedCount = 0;
  const std::uint32_t infoCode = readEmbeddedCount(path1, embeddedCount);
  if (infoCode == (six ? kNotSignedMessage6 : kNotSignedMessage5)) return;
  if (infoCode != 0) {
    FILE_LOG(LogLevel::kError) << errorText("Error getting signing info for input file stream ", infoCode);
    return;
  }
  if (embeddedCount == 0) return;  // already detached: the file is not touched

  const ProviderFunctions& f = provider_.functions;
  const std::uint32_t code = six ? f.cmsStrSignDetachFile(context_, path1, path2, path3, 0)
                                 : f.detachSignFile(context_, path1, path2, path3);
  if (code != 0) {
    FILE_LOG(LogLevel::kError) << errorText("Error detaching signature from large file ", code);
  }
}

}  // namespace dravontaux64
