#pragma once

#include <csetjmp>
#include <cstdint>
#include <cstdio> // jpeglib.h needs FILE and size_t first
#include <exception>
#include <string>

#include <jpeglib.h>

namespace skimlet {

// libjpeg's error handling for the reader and the writer.
//
// libjpeg is C: an exception must never unwind through its frames, which need
// not have unwind tables. A fatal libjpeg error therefore jumps (longjmp) back
// to the Run that made the call, and only there, in our own frame, becomes
// CTextException 6 "Decoder error: <message>\n\n". Our callbacks that libjpeg
// calls (sources, sinks, progress) catch their own exceptions with Protect,
// which parks the exception and jumps the same way; Run rethrows it unchanged.
//
// Warnings (damaged data) are counted and the first one kept for the caller;
// they also go to the trace file at level 3 instead of standard error.
class CJpegErrorManager {
public:
    CJpegErrorManager();
    CJpegErrorManager(const CJpegErrorManager&) = delete;
    CJpegErrorManager& operator=(const CJpegErrorManager&) = delete;

    // For the `err` field of a libjpeg object, before jpeg_create_*.
    jpeg_error_mgr* Manager() { return &hook_.manager; }

    // Runs `call`, which makes libjpeg calls. A fatal error leaves `call` by
    // longjmp, so `call` must not own anything with a destructor; keep such
    // objects in the caller, around Run.
    template <typename Call>
    void Run(Call&& call) {
        if (setjmp(hook_.jump) == 0) {
            call();
            return;
        }
        ThrowPending();
    }

    // For callbacks that libjpeg calls: runs `action`; an exception it throws
    // is parked and libjpeg left as by a fatal error.
    template <typename Action>
    static void Protect(j_common_ptr cinfo, Action&& action) {
        bool failed = false;
        try {
            action();
        } catch (...) {
            Park(cinfo, std::current_exception());
            failed = true;
        }
        if (failed)
            Leave(cinfo);
    }

    // Leaves libjpeg with CTextException(code, "Decoder error: <text>\n") raised
    // by Run. A plain string: anything with a destructor in the caller would be
    // skipped.
    [[noreturn]] static void Fail(j_common_ptr cinfo, std::int32_t code, const char* text);

    // Warnings since the last ResetWarnings.
    void ResetWarnings();
    int WarningCount() const { return warnings_; }
    // libjpeg's text of the first warning, e.g. "Premature end of JPEG file".
    const std::string& FirstWarning() const { return firstWarning_; }

private:
    // Standard layout, libjpeg's part first, so that the error_mgr pointer
    // libjpeg hands to the callbacks leads back to the manager.
    struct Hook {
        jpeg_error_mgr manager;
        std::jmp_buf jump;
        CJpegErrorManager* owner;
    };

    static Hook& HookOf(j_common_ptr cinfo);
    static void Park(j_common_ptr cinfo, std::exception_ptr exception) noexcept;
    [[noreturn]] static void Leave(j_common_ptr cinfo);
    [[noreturn]] static void ErrorExit(j_common_ptr cinfo);
    static void EmitMessage(j_common_ptr cinfo, int level);
    [[noreturn]] void ThrowPending();

    Hook hook_{};
    std::exception_ptr pending_;
    int warnings_ = 0;
    std::string firstWarning_;
};

// The text of the error for a picture that needs more than `limit` bytes of
// libjpeg's working memory.
std::string JpegWorkingMemoryText(long limit);

} // namespace skimlet
