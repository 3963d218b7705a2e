#pragma once

// AIRVANE_API marks what the library exports: the classes and functions that hosts and
// adapter plug-ins use. Everything else stays hidden (the library builds with hidden
// visibility).
#if defined(_WIN32)
#if defined(AIRVANE_BUILDING)
#define AIRVANE_API __declspec(dllexport)
#else
#define AIRVANE_API __declspec(dllimport)
#endif
#define AIRVANE_PLUGIN_EXPORT extern "C" __declspec(dllexport)
#else
#define AIRVANE_API __attribute__((visibility("default")))
#define AIRVANE_PLUGIN_EXPORT extern "C" __attribute__((visibility("default")))
#endif
