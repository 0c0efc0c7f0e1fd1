#pragma once

// Under AddressSanitizer, whose allocator replaces the C library's, tests of that allocator skip.
#ifndef __has_feature
#define __has_feature(feature) 0
#endif

namespace lumivert::testing {
#if __has_feature(address_sanitizer) || defined(__SANITIZE_ADDRESS__)
inline constexpr bool kAddressSanitizer = true;
#else
inline constexpr bool kAddressSanitizer = false;
#endif
} // namespace lumivert::testing
