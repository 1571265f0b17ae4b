// Whether this build runs under a sanitizer (the Asan and Tsan build types, or
// the fuzz build): tests then do fewer runs, and skip what the sanitizer runtime
// cannot take (address-space limits).
#pragma once

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define KESTREL_TEST_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define KESTREL_TEST_SANITIZED 1
#endif
#endif

#ifdef KESTREL_TEST_SANITIZED
constexpr bool kSanitizedBuild = true;
#else
constexpr bool kSanitizedBuild = false;
#endif
