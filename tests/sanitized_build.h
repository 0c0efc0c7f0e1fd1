#pragma once

// Whether this build runs under AddressSanitizer, whose allocator replaces the C library's:
// tests of the C library allocator's own behaviour (its tuning, address-space limits) skip.

namespace lumivert::testing {

#if defined(__SANITIZE_ADDRESS__)
inline constexpr bool kAddressSanitizer = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
inline constexpr bool kAddressSanitizer = true;
#else
inline constexpr bool kAddressSanitizer = false;
#endif
#else
inline constexpr bool kAddressSanitizer = false;
#endif

} // namespace lumivert::testing
