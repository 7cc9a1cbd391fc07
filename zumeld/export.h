// The one export macro of the library. Symbols marked ZUMELD_API are visible to hosts;
// everything else is hidden (the library is compiled with hidden visibility).
#pragma once

#if defined(ZUMELD_STATIC)
#define ZUMELD_API
#elif defined(_WIN32)
#if defined(ZUMELD_BUILDING)
#define ZUMELD_API __declspec(dllexport)
#else
#define ZUMELD_API __declspec(dllimport)
#endif
#else
#define ZUMELD_API __attribute__((visibility("default")))
#endif
