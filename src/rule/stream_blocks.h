// Reading a file the service opened, in blocks: the ".msg" header and the
// envelope readers share it. Main cycle's thread only.
#pragma once

#include <cstdint>
#include <functional>
#include <string_view>

#include "dravont/dravontdll.h"

namespace trasvik {

// Hands the stream's bytes to `take` block by block from its position,
// until `take` returns false (it has what it needs), `fileSize` bytes were
// read (the file's size when it was opened, which no writer changes then:
// its end needs no call of its own; 0, which may mean unknown, reads on),
// or a read yields nothing or fails (the end; the same outcome as reading
// one byte per call, in a few calls instead of one per byte). True when the
// file was read as far as needed; false when its end came before `fileSize`
// (a text stream, which drops the CR of each CR LF, is at its end when its
// position is): the read was cut short, and what was taken is not the
// file. ContextError is thrown instead when the session was lost, so that
// the file is read again in the next session.
bool readStreamBlocks(Quillex::DravontStream_s& stream, std::uint64_t fileSize,
                      const std::function<bool(std::string_view block)>& take);

}  // namespace trasvik
