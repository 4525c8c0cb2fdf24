#include "base/Trace.h"

#include "base/TextException.h"

#include <cstdio>

namespace skimlet {

namespace {

// Global and unsynchronised, like the rest of the decoding state: a trace
// file is a single-threaded diagnostic aid.
int gTraceLevel = 0;
std::string gTracePath;

void Append(const std::string& text) {
    if (gTracePath.empty())
        return;
    if (std::FILE* f = std::fopen(gTracePath.c_str(), "a")) {
        std::fwrite(text.data(), 1, text.size(), f);
        std::fclose(f);
    }
}

} // namespace

void ConfigureTrace(int level, const std::string& path) {
    gTraceLevel = level;
    gTracePath = path;
    if (!path.empty())
        std::remove(path.c_str());
}

int TraceLevel() {
    return gTraceLevel;
}

const std::string& TraceFilePath() {
    return gTracePath;
}

void ReleaseTraceFile() {
    gTracePath.clear();
}

void TraceLine(int level, const std::string& text) {
    if (level <= gTraceLevel)
        Append(text);
}

void ThrowDecodeError(std::int32_t code, const std::string& text) {
    std::string line = "Decoder error: " + text + "\n";
    if (gTraceLevel >= 0)
        Append(line);
    throw CTextException(code, std::move(line));
}

} // namespace skimlet
