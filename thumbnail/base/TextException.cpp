#include "base/TextException.h"

#include <utility>

namespace skimlet {

CTextException::CTextException(std::int32_t code, std::string text)
    : code_(code), text_(std::move(text)) {}

} // namespace skimlet
