#include "codecs/JpegError.h"

#include "base/Trace.h"

#include <string>

namespace skimlet {

namespace {

std::string Message(j_common_ptr cinfo) {
    char buffer[JMSG_LENGTH_MAX] = {};
    cinfo->err->format_message(cinfo, buffer);
    return buffer;
}

[[noreturn]] void ThrowingErrorExit(j_common_ptr cinfo) {
    ThrowDecodeError(6, Message(cinfo) + "\n");
}

void TracingEmitMessage(j_common_ptr cinfo, int level) {
    if (level < 0) {
        ++cinfo->err->num_warnings;
        TraceLine(3, "JPEG warning: " + Message(cinfo) + "\n");
    }
}

} // namespace

void InitJpegErrorManager(jpeg_error_mgr& manager) {
    jpeg_std_error(&manager);
    manager.error_exit = ThrowingErrorExit;
    manager.emit_message = TracingEmitMessage;
}

} // namespace skimlet
