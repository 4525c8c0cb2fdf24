#pragma once

#include "base/PLObject.h"

#include <cstdint>
#include <exception>
#include <string>

namespace skimlet {

// The image library's one exception: a numeric code and a text meant for people.
// Codes: 1, 2 bitmap header; 3, 4, 5 opening a file; 6 unsupported or libjpeg error;
// 8 unknown type; 10 out of memory; 11 data ended / output buffer full; -1 output file.
class CTextException : public CPLObject, public std::exception {
public:
    CTextException(std::int32_t code, std::string text);
    CTextException(const CTextException&) = default;
    CTextException& operator=(const CTextException&) = default;
    ~CTextException() override = default;

    virtual std::int32_t Code() const { return code_; }
    virtual const std::string& Text() const { return text_; }
    const char* what() const noexcept override { return text_.c_str(); }

private:
    std::int32_t code_;
    std::string text_;
};

namespace SkimletCode {
inline constexpr std::int32_t kOk = 0; // what functions returning a code give on success
inline constexpr std::int32_t kNotABitmap = 1;
inline constexpr std::int32_t kBadBitmapHeader = 2;
inline constexpr std::int32_t kPathNotFound = 3;
inline constexpr std::int32_t kCannotOpen = 4;
inline constexpr std::int32_t kAccessDenied = 5;
inline constexpr std::int32_t kUnsupported = 6;
inline constexpr std::int32_t kUnknownType = 8;
inline constexpr std::int32_t kOutOfMemory = 10;
inline constexpr std::int32_t kEndOfData = 11;
inline constexpr std::int32_t kCannotCreateOutput = -1;
} // namespace SkimletCode

} // namespace skimlet
