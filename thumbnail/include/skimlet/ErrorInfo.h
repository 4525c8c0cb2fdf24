#pragma once

#include "skimlet/Export.h"

#include <optional>
#include <string>

namespace skimlet {

// The calling thread's current error information: what the last failing
// operation of a component said about the failure.
struct ErrorInfo {
    std::string interfaceId; // the interface whose operation failed
    std::string source;      // the component, "Skimlet" for JPEGImage
    std::string description; // text meant for people
};

// Installs `info` as this thread's error information, replacing any before it.
SKIMLET_API void SetErrorInfo(ErrorInfo info);
// Takes this thread's error information: returns it and clears it.
SKIMLET_API std::optional<ErrorInfo> GetErrorInfo();
SKIMLET_API void ClearErrorInfo();

} // namespace skimlet
