// A hook for crash tests: with TRASVIK_CRASH_AT set to "<point>" or
// "<point>:<n>", the gateway kills itself the n-th time (default the first)
// it reaches that point, exactly as an outside kill at that moment would.
// Unset, a point costs one comparison. TRASVIK_HANG_AT, in the same form,
// makes the gateway stop moving there for good instead, as a call that
// never returns would. Main thread only.
#pragma once

namespace trasvik {

// The points: "post-sent" (a post answered, its record not yet written),
// "post-recorded" (recorded, the file not yet moved), "receipt-recorded"
// (names recorded, no file in place), "file-placed" (a received file in
// place, its companion or the next not yet), "placed" (a message's files
// in place, not yet confirmed).
void crashPoint(const char* point);

}  // namespace trasvik
