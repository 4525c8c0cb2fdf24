#pragma once

#include "skimlet/HResult.h"

#include <cstdint>

namespace skimlet {

class CTextException;

// The HRESULT that stands for an image-library exception code: the file and
// memory codes map to their system errors, any other code c to c | 0x80040000.
HRESULT HResultFromExceptionCode(std::int32_t code);

// Installs the exception as this thread's error information (source "Skimlet",
// the exception's text as description) and returns its HRESULT.
HRESULT ReportException(const CTextException& exception, const char* interfaceId);

} // namespace skimlet
