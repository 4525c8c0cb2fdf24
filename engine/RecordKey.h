#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace vantrel {

// The secret that the record's digests are keyed with, so that the record, which sits in a
// published folder, tells a visitor nothing about the user's files: 32 random bytes kept
// in the user's configuration folder ($XDG_CONFIG_HOME/tessary/record-key, else
// ~/.config/tessary/record-key), made on first use and readable by the user alone.
class RecordKey {
public:
    // The user's key, made when missing. When it can be neither read nor made, a key of
    // this process alone: the run then just makes everything.
    static RecordKey ForUser();
    // A key of this process alone.
    static RecordKey Random();
    explicit RecordKey(const std::array<std::uint64_t, 4>& words) : words_(words) {}

    // A keyed digest of `data` (two SipHash-2-4 values, 32 hex digits).
    std::string Digest(std::string_view data) const;

private:
    std::array<std::uint64_t, 4> words_{};
};

// Where ForUser keeps the key; "" when no configuration folder is known.
std::string RecordKeyPath();

} // namespace vantrel
