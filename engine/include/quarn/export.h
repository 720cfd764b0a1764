// What a shared build of the library exports; everything else stays inside it.
#pragma once

#if defined(__GNUC__)
#define QUARN_API __attribute__((visibility("default")))
#else
#define QUARN_API
#endif
