#include "ReportException.h"

#include "base/TextException.h"
#include "skimlet/ErrorInfo.h"

namespace skimlet {

HRESULT HResultFromExceptionCode(std::int32_t code) {
    switch (code) {
    case SkimletCode::kPathNotFound:
    case SkimletCode::kCannotOpen:
        return E_FILE_NOT_FOUND;
    case SkimletCode::kAccessDenied:
        return E_ACCESS_DENIED;
    case SkimletCode::kOutOfMemory:
        return E_OUT_OF_MEMORY;
    default:
        return static_cast<HRESULT>(static_cast<std::uint32_t>(code) | 0x80040000u);
    }
}

HRESULT ReportException(const CTextException& exception, const char* interfaceId) {
    SetErrorInfo(ErrorInfo{interfaceId, "Skimlet", exception.Text()});
    return HResultFromExceptionCode(exception.Code());
}

} // namespace skimlet
