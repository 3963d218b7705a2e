#pragma once

// Control interface of the supplicant stub double (module "wpa_stub.dll"). Tests resolve
// these C exports from the module the library loaded (same file, same handle).

#include <cstdint>

namespace wpa_stub_double {

constexpr const char kModuleName[] = "wpa_stub.dll";

// Forgets every record and script (live contexts stay valid and counted).
constexpr const char kReset[] = "WpaStubDouble_Reset";
using ResetFn = void (*)();
// State that GetState of every context reports from now on.
constexpr const char kSetState[] = "WpaStubDouble_SetState";
using SetStateFn = void (*)(std::int32_t state);
// Makes the next WPAContextLoad return null.
constexpr const char kFailNextLoad[] = "WpaStubDouble_FailNextLoad";
using FailNextLoadFn = void (*)();
// Network block of the last WPAContextLoad call ("" before any).
constexpr const char kLastBlock[] = "WpaStubDouble_LastBlock";
using LastBlockFn = const char* (*)();
// Adapter pointer of the last WPAContextLoad call.
constexpr const char kLastAdapter[] = "WpaStubDouble_LastAdapter";
using LastAdapterFn = const void* (*)();
// Calls received by contexts, in order, as "C<n>" for Command(n), "S" for GetState and
// "R" for Run, separated by spaces.
constexpr const char kEvents[] = "WpaStubDouble_Events";
using EventsFn = const char* (*)();
// Counters: WPAContextLoad calls, contexts returned, WPAContextFree calls, contexts still
// alive, and frees of pointers that were not alive (double or foreign frees).
constexpr const char kLoadCount[] = "WpaStubDouble_LoadCount";
constexpr const char kCreatedCount[] = "WpaStubDouble_CreatedCount";
constexpr const char kFreeCount[] = "WpaStubDouble_FreeCount";
constexpr const char kLiveCount[] = "WpaStubDouble_LiveCount";
constexpr const char kBadFreeCount[] = "WpaStubDouble_BadFreeCount";
using CountFn = int (*)();

} // namespace wpa_stub_double
