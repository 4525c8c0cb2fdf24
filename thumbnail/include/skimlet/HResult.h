#pragma once

#include <cstdint>

namespace skimlet {

// Result codes of the component's operations: S_OK and S_FALSE succeed,
// negative values fail.
using HRESULT = std::int32_t;

inline constexpr HRESULT S_OK = 0;
inline constexpr HRESULT S_FALSE = 1;
inline constexpr HRESULT E_FILE_NOT_FOUND = static_cast<HRESULT>(0x80070002u);
inline constexpr HRESULT E_ACCESS_DENIED = static_cast<HRESULT>(0x80070005u);
inline constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057u);
inline constexpr HRESULT E_OUT_OF_MEMORY = static_cast<HRESULT>(0x8007000Eu);

constexpr bool Succeeded(HRESULT hr) {
    return hr >= 0;
}
constexpr bool Failed(HRESULT hr) {
    return hr < 0;
}

} // namespace skimlet
