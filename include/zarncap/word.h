// The words the platform's records are made of. DWORD, 32 bits: an
// unsigned long in the Windows headers, a 32-bit unsigned int elsewhere. The
// contract's numbers have this type, so they mix with the platform's records
// without a cast on either build.
#pragma once

#include <cstdint>

#if defined(_WIN32)
using ZarncapWord = unsigned long;
#else
using ZarncapWord = std::uint32_t;
#endif
static_assert(sizeof(ZarncapWord) == 4);

// A word as wide as a pointer (DWORD_PTR), for record fields that carry an address.
#if defined(_WIN64)
using ZarncapWordPtr = unsigned long long;
#elif defined(_WIN32)
using ZarncapWordPtr = unsigned long;
#else
using ZarncapWordPtr = std::uintptr_t;
#endif
static_assert(sizeof(ZarncapWordPtr) == sizeof(void*));
