#pragma once

// Marks what leaves libskimlet: the library is built with hidden visibility,
// so anything without this mark stays inside it.
#if defined(__GNUC__) || defined(__clang__)
#define SKIMLET_API __attribute__((visibility("default")))
#else
#define SKIMLET_API
#endif
