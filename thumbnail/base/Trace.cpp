#include "base/Trace.h"

#include "base/TextException.h"

#include <atomic>
#include <cstdio>
#include <mutex>

namespace skimlet {

namespace {

// Decoders run on several threads at once (the engine's workers), and each one
// releases the trace file when it is destroyed: the state is guarded.
std::atomic<int> gTraceLevel = 0;
std::mutex gTraceMutex;
std::string gTracePath;

void Append(const std::string& text) {
    const std::lock_guard<std::mutex> lock(gTraceMutex);
    if (gTracePath.empty())
        return;
    if (std::FILE* f = std::fopen(gTracePath.c_str(), "a")) {
        std::fwrite(text.data(), 1, text.size(), f);
        std::fclose(f);
    }
}

} // namespace

void ConfigureTrace(int level, const std::string& path) {
    const std::lock_guard<std::mutex> lock(gTraceMutex);
    gTraceLevel = level;
    gTracePath = path;
    if (!path.empty())
        std::remove(path.c_str());
}

int TraceLevel() {
    return gTraceLevel;
}

std::string TraceFilePath() {
    const std::lock_guard<std::mutex> lock(gTraceMutex);
    return gTracePath;
}

void ReleaseTraceFile() {
    const std::lock_guard<std::mutex> lock(gTraceMutex);
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
