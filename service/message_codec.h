// The byte form of a message: the format of the store's message files and of
// the bytes "DravontMessageToStream" writes and "DravontMessageFromStreamCtor"
// reads back. A text header of "key=value" lines (values escaped with
// percent_text.h), an empty line, then the attachment bytes back to back.
// Pure functions, thread-safe.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "message.h"

namespace dravont_service {

std::string encodeMessage(const Message& message);

// Parses encodeMessage's output. Returns nullopt and sets `error` for bytes
// that are not a whole, well-formed message (never trusts a size it reads).
std::optional<Message> decodeMessage(std::string_view bytes, std::string& error);

// Parses only the header lines (no attachment bytes are needed): what the
// status queries and the listing read. Attachment bytes stay empty.
std::optional<Message> decodeMessageHeader(std::string_view bytes, std::string& error);

}  // namespace dravont_service
