// The dispatcher: hands the lines of the list file to the lowest-numbered
// free worker slot, one worker thread per address.
#pragma once

#include "app/engine_context.h"
#include "app/slot_tables.h"
#include "platform/files.h"
#include "text/types.h"

namespace varnelo {

// The status line while an address is handed out: "当前：" and the address.
inline constexpr const char* kCurrentCaption = "\xb5\xb1\xc7\xb0\xa3\xba";
// The status line once every address has been handed out: "就绪".
inline constexpr const char* kReadyCaption = "\xbe\xcd\xd0\xf7";

// The next line of `file`: the bytes up to the next LF, which is consumed and
// dropped, with one final CR dropped. A NUL or 0x1A ends the line without
// being consumed, so every later line is empty; a byte of 0x80 or above keeps
// the byte after it (a NUL excepted). Empty at the end and for a file that is
// not open.
Text readListLine(platform::SharedFile& file);

// Reads lineCount lines of the list file, shows each non-empty one in the
// status line and starts the context's worker for it in the lowest-numbered
// free slot, waiting without CPU use while all twenty are busy; then shows
// "就绪".
void slotDispatcher(EngineContext& context);

// Stores `address` in the lowest-numbered free slot and starts the context's
// worker there; waits while every slot is busy. Returns the slot (1 to 20).
int handOutAddress(EngineContext& context, const Text& address);

}  // namespace varnelo
