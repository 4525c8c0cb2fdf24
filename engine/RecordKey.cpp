#include "RecordKey.h"

#include "FileIo.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <pwd.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vantrel {

namespace {

constexpr std::size_t kKeyBytes = 32;

std::uint64_t Rotate(std::uint64_t x, int bits) {
    return (x << bits) | (x >> (64 - bits));
}

// SipHash-2-4: a keyed function made for short inputs, where knowing the output tells
// nothing of the input without the key.
std::uint64_t SipHash(std::uint64_t k0, std::uint64_t k1, std::string_view data) {
    std::uint64_t v0 = 0x736f6d6570736575ull ^ k0;
    std::uint64_t v1 = 0x646f72616e646f6dull ^ k1;
    std::uint64_t v2 = 0x6c7967656e657261ull ^ k0;
    std::uint64_t v3 = 0x7465646279746573ull ^ k1;
    const auto round = [&] {
        v0 += v1;
        v1 = Rotate(v1, 13) ^ v0;
        v0 = Rotate(v0, 32);
        v2 += v3;
        v3 = Rotate(v3, 16) ^ v2;
        v0 += v3;
        v3 = Rotate(v3, 21) ^ v0;
        v2 += v1;
        v1 = Rotate(v1, 17) ^ v2;
        v2 = Rotate(v2, 32);
    };
    const auto block = [&](std::uint64_t m) {
        v3 ^= m;
        round();
        round();
        v0 ^= m;
    };
    std::size_t i = 0;
    for (; i + 8 <= data.size(); i += 8) {
        std::uint64_t m = 0;
        for (int b = 7; b >= 0; --b)
            m = (m << 8) | static_cast<unsigned char>(data[i + static_cast<std::size_t>(b)]);
        block(m);
    }
    std::uint64_t last = static_cast<std::uint64_t>(data.size() & 0xFF) << 56;
    for (std::size_t b = 0; i + b < data.size(); ++b)
        last |= static_cast<std::uint64_t>(static_cast<unsigned char>(data[i + b])) << (8 * b);
    block(last);
    v2 ^= 0xFF;
    for (int r = 0; r < 4; ++r)
        round();
    return v0 ^ v1 ^ v2 ^ v3;
}

bool FromHex(const std::string& text, std::array<std::uint64_t, 4>& words) {
    if (text.size() < kKeyBytes * 2)
        return false;
    for (std::size_t w = 0; w < 4; ++w) {
        std::uint64_t value = 0;
        for (std::size_t i = 0; i < 16; ++i) {
            const char c = text[w * 16 + i];
            const int digit = (c >= '0' && c <= '9')   ? c - '0'
                              : (c >= 'a' && c <= 'f') ? c - 'a' + 10
                                                       : -1;
            if (digit < 0)
                return false;
            value = (value << 4) | static_cast<std::uint64_t>(digit);
        }
        words[w] = value;
    }
    return true;
}

bool RandomWords(std::array<std::uint64_t, 4>& words) {
    auto* bytes = reinterpret_cast<unsigned char*>(words.data());
    std::size_t got = 0;
    while (got < sizeof words) {
        const ssize_t n = ::getrandom(bytes + got, sizeof words - got, 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        got += static_cast<std::size_t>(n);
    }
    return true;
}

std::string ToHex(const std::array<std::uint64_t, 4>& words) {
    std::string text;
    char part[17];
    for (const std::uint64_t word : words) {
        std::snprintf(part, sizeof part, "%016llx", static_cast<unsigned long long>(word));
        text += part;
    }
    return text + "\n";
}

// Makes the folder and its missing parents, readable by the user alone when new.
void MakeFolders(const std::string& path) {
    for (std::size_t slash = path.find('/', 1); slash != std::string::npos;
         slash = path.find('/', slash + 1))
        ::mkdir(path.substr(0, slash).c_str(), 0700);
    ::mkdir(path.c_str(), 0700);
}

// Writes a new key where none is, without ever replacing one that another run made
// meanwhile: the file is linked into place only when the name is free.
bool CreateKeyFile(const std::string& path, const std::array<std::uint64_t, 4>& words) {
    const std::string folder = path.substr(0, path.rfind('/'));
    MakeFolders(folder);
    char temporary[] = "/.record-key.XXXXXX";
    std::string temporaryPath = folder + temporary;
    const int fd = ::mkstemp(temporaryPath.data());
    if (fd < 0)
        return false;
    const std::string text = ToHex(words);
    const bool written = ::fchmod(fd, 0600) == 0 &&
                         ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    const bool closed = ::close(fd) == 0;
    const bool linked = written && closed && ::link(temporaryPath.c_str(), path.c_str()) == 0;
    ::unlink(temporaryPath.c_str());
    return linked;
}

} // namespace

std::string RecordKeyPath() {
    std::string base;
    if (const char* config = std::getenv("XDG_CONFIG_HOME"); config && config[0] == '/') {
        base = config;
    } else {
        const char* home = std::getenv("HOME");
        if (!home || home[0] != '/') {
            const passwd* user = ::getpwuid(::getuid());
            home = user ? user->pw_dir : nullptr;
        }
        if (!home || home[0] != '/')
            return "";
        base = JoinPath(home, ".config");
    }
    return JoinPath(JoinPath(base, "tessary"), "record-key");
}

RecordKey RecordKey::Random() {
    std::array<std::uint64_t, 4> words{};
    if (!RandomWords(words)) {
        // Without the kernel's randomness the digests still work within this process.
        words = {static_cast<std::uint64_t>(::getpid()), 0x9e3779b97f4a7c15ull,
                 reinterpret_cast<std::uintptr_t>(&words), 0x243f6a8885a308d3ull};
    }
    return RecordKey(words);
}

RecordKey RecordKey::ForUser() {
    const std::string path = RecordKeyPath();
    if (path.empty())
        return Random();
    std::array<std::uint64_t, 4> words{};
    for (int attempt = 0; attempt < 2; ++attempt) {
        std::string text;
        std::error_code error;
        if (ReadWholeFile(path, text, error, 1024) && FromHex(text, words))
            return RecordKey(words);
        if (!error || error == std::errc::no_such_file_or_directory) {
            // Missing, or damaged: a damaged key only means a full run, as a new one does.
            if (error != std::errc::no_such_file_or_directory)
                ::unlink(path.c_str());
            if (RandomWords(words) && CreateKeyFile(path, words))
                return RecordKey(words);
            continue; // another run may have made it meanwhile: read that one
        }
        break;
    }
    return Random();
}

std::string RecordKey::Digest(std::string_view data) const {
    char text[33];
    std::snprintf(text, sizeof text, "%016llx%016llx",
                  static_cast<unsigned long long>(SipHash(words_[0], words_[1], data)),
                  static_cast<unsigned long long>(SipHash(words_[2], words_[3], data)));
    return text;
}

} // namespace vantrel
