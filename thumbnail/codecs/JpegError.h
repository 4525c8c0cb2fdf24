#pragma once

#include <cstdio> // jpeglib.h needs FILE and size_t first
#include <jpeglib.h>

namespace skimlet {

// Sets up libjpeg's standard error manager for the reader and the writer:
// a fatal error throws CTextException 6 with "Decoder error: <message>\n\n",
// and warnings (a truncated or damaged file) go to the trace file at level 3
// instead of standard error.
//
// The exception unwinds through libjpeg's frames; the library is plain C built
// with unwind tables and keeps no state on the stack that needs cleaning up,
// and the caller returns the libjpeg object to its start state with
// jpeg_abort_*. This keeps every frame of ours under normal C++ unwinding,
// which setjmp/longjmp would not.
void InitJpegErrorManager(jpeg_error_mgr& manager);

} // namespace skimlet
