#pragma once

#include <cstdint>
#include <string>

// Library-wide diagnostics. Nothing is written unless a caller configures a
// trace file; level 1 carries banners, 2 recognition and progress, 3 detail.

namespace skimlet {

// Sets the level; with a path, starts an empty trace file of that name,
// with an empty path stops tracing to file.
void ConfigureTrace(int level, const std::string& path);
int TraceLevel();
std::string TraceFilePath();
// Stops tracing to file and forgets the path; the level stays.
void ReleaseTraceFile();

// Appends `text` as given when `level` is at most the configured level.
void TraceLine(int level, const std::string& text);

// Throws CTextException(code, "Decoder error: " + text + "\n"), tracing that line first.
[[noreturn]] void ThrowDecodeError(std::int32_t code, const std::string& text);

} // namespace skimlet
