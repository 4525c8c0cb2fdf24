// Feeds any bytes, as a photo file, to the metadata reader and to the copy without
// location, and checks the copy: unchanged when nothing was taken out, otherwise a photo
// that tells no place, keeps its caption, and has nothing more to take out.
// A crash, a sanitizer report or a failed check is a finding.

#include "PhotoMetadata.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/mman.h>
#include <unistd.h>

namespace {

[[noreturn]] void Fail(const char* what) {
    std::fprintf(stderr, "fuzz check failed: %s\n", what);
    std::abort();
}

// Files in memory, made once and emptied for every input.
int MemoryFile(const char* name) {
    const int fd = ::memfd_create(name, MFD_CLOEXEC);
    if (fd < 0)
        Fail("no memory file");
    return fd;
}

void Empty(int fd) {
    if (::ftruncate(fd, 0) != 0 || ::lseek(fd, 0, SEEK_SET) != 0)
        Fail("a memory file cannot be emptied");
}

std::string Bytes(int fd) {
    std::string bytes(static_cast<std::size_t>(::lseek(fd, 0, SEEK_END)), '\0');
    if (::pread(fd, bytes.data(), bytes.size(), 0) != static_cast<ssize_t>(bytes.size()))
        Fail("a memory file cannot be read");
    return bytes;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const int in = MemoryFile("in");
    static const int out = MemoryFile("out");
    static const int again = MemoryFile("again");
    Empty(in);
    if (::pwrite(in, data, size, 0) != static_cast<ssize_t>(size))
        Fail("the input cannot be written");

    const std::optional<vantrel::PhotoMetadata> read = vantrel::ReadPhotoMetadata(in);
    Empty(out);
    bool removed = false;
    std::string error;
    const bool copied = vantrel::CopyWithoutLocation(in, out, removed, error);
    if (copied != error.empty())
        Fail("the copy's result and its error disagree");
    if (!copied)
        return 0;
    if (!read)
        Fail("copied what is no JPEG");
    const std::string copy = Bytes(out);
    if (!removed) {
        if (copy != std::string(reinterpret_cast<const char*>(data), size))
            Fail("a photo with nothing to take out was changed");
        return 0;
    }
    const std::optional<vantrel::PhotoMetadata> after = vantrel::ReadPhotoMetadata(out);
    if (!after || after->hasLocation)
        Fail("the copy still tells a place");
    if (after->description != read->description)
        Fail("the copy lost its caption");
    Empty(again);
    if (!vantrel::CopyWithoutLocation(out, again, removed, error) || removed)
        Fail("the copy had more to take out");
    return 0;
}
