#pragma once

// Control interface of the key-renewal double (module "WepPlusInventel.dll"). Tests
// resolve these C exports from the module the library loaded.

#include <cstdint>

namespace wepplus_double {

constexpr const char kModuleName[] = "WepPlusInventel.dll";

// Forgets the calls and sets the scripted result back to 0.
constexpr const char kReset[] = "WepPlusDouble_Reset";
using ResetFn = void (*)();
// Result of RunWepPlus from now on.
constexpr const char kSetResult[] = "WepPlusDouble_SetResult";
using SetResultFn = void (*)(int result);
// Number of RunWepPlus calls.
constexpr const char kCallCount[] = "WepPlusDouble_CallCount";
using CallCountFn = int (*)();
// Arguments of the last call.
constexpr const char kLastMethod[] = "WepPlusDouble_LastMethod";
constexpr const char kLastAdapter[] = "WepPlusDouble_LastAdapter";
using LastPointerFn = const void* (*)();

} // namespace wepplus_double
