#include "codecs/JpegError.h"

#include "base/TextException.h"
#include "base/Trace.h"

#include <jerror.h>

#include <type_traits>

namespace skimlet {

namespace {

std::string Message(j_common_ptr cinfo) {
    char buffer[JMSG_LENGTH_MAX] = {};
    cinfo->err->format_message(cinfo, buffer);
    return buffer;
}

// The text of a fatal error; past the working-memory bound libjpeg only says
// that it has no backing store.
std::string ErrorText(j_common_ptr cinfo) {
    if (cinfo->err->msg_code == JERR_NO_BACKING_STORE)
        return JpegWorkingMemoryText(cinfo->mem->max_memory_to_use);
    return Message(cinfo);
}

} // namespace

std::string JpegWorkingMemoryText(long limit) {
    return "JPEG picture needs more than " + std::to_string(limit >> 20) +
           " MiB of decoder memory.";
}

CJpegErrorManager::CJpegErrorManager() {
    static_assert(std::is_standard_layout_v<Hook>);
    jpeg_std_error(&hook_.manager);
    hook_.manager.error_exit = ErrorExit;
    hook_.manager.emit_message = EmitMessage;
    hook_.owner = this;
}

CJpegErrorManager::Hook& CJpegErrorManager::HookOf(j_common_ptr cinfo) {
    return *reinterpret_cast<Hook*>(cinfo->err);
}

void CJpegErrorManager::Park(j_common_ptr cinfo, std::exception_ptr exception) noexcept {
    HookOf(cinfo).owner->pending_ = std::move(exception);
}

void CJpegErrorManager::Leave(j_common_ptr cinfo) {
    // Nothing with a destructor is alive here or in libjpeg's frames below Run.
    std::longjmp(HookOf(cinfo).jump, 1);
}

void CJpegErrorManager::Fail(j_common_ptr cinfo, std::int32_t code, const char* text) {
    Protect(cinfo, [&] { ThrowDecodeError(code, text); });
    Leave(cinfo); // not reached: Protect has left
}

void CJpegErrorManager::ErrorExit(j_common_ptr cinfo) {
    Protect(cinfo, [&] { ThrowDecodeError(SkimletCode::kUnsupported, ErrorText(cinfo) + "\n"); });
    Leave(cinfo); // reached only if the exception could not be made
}

void CJpegErrorManager::EmitMessage(j_common_ptr cinfo, int level) {
    if (level >= 0)
        return;
    ++cinfo->err->num_warnings;
    CJpegErrorManager& self = *HookOf(cinfo).owner;
    ++self.warnings_;
    // Called from libjpeg's frames: nothing may escape.
    try {
        const std::string text = Message(cinfo);
        if (self.warnings_ == 1)
            self.firstWarning_ = text;
        TraceLine(3, "JPEG warning: " + text + "\n");
    } catch (...) {
    }
}

void CJpegErrorManager::ThrowPending() {
    std::exception_ptr pending = std::move(pending_);
    pending_ = nullptr;
    if (!pending)
        throw CTextException(SkimletCode::kOutOfMemory, "Out of memory.\n");
    std::rethrow_exception(pending);
}

void CJpegErrorManager::ResetWarnings() {
    warnings_ = 0;
    firstWarning_.clear();
}

} // namespace skimlet
