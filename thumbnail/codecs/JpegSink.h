#pragma once

#include <cstdio> // jpeglib.h needs FILE and size_t first
#include <jpeglib.h>

namespace skimlet {

class CByteSink;

// Makes the compressor hand its output to `sink` in blocks of 8192 bytes. The
// sink's own exceptions (a full buffer) reach the caller unchanged, carried
// past libjpeg by the compressor's CJpegErrorManager, which must be its error
// manager; a short write is libjpeg's JERR_FILE_WRITE.
void AttachJpegSink(j_compress_ptr compressor, CByteSink& sink);

} // namespace skimlet
