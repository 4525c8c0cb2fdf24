#include "skimlet/ErrorInfo.h"

namespace skimlet {

namespace {

thread_local std::optional<ErrorInfo> tCurrentErrorInfo;

} // namespace

void SetErrorInfo(ErrorInfo info) {
    tCurrentErrorInfo = std::move(info);
}

std::optional<ErrorInfo> GetErrorInfo() {
    std::optional<ErrorInfo> info = std::move(tCurrentErrorInfo);
    tCurrentErrorInfo.reset();
    return info;
}

void ClearErrorInfo() {
    tCurrentErrorInfo.reset();
}

} // namespace skimlet
