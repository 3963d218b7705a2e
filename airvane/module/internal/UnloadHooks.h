#pragma once

// Work the library does when it is unloaded, by process exit or by the host unloading it.
// Internal to the library (not exported).

namespace airvane::module {

using UnloadHook = void (*)();

// Runs `hook` once when the library is unloaded; hooks run in the reverse order of their
// registration. Registration needs no memory and works at any time after load, even
// during static initialisation. False when the fixed table of hooks is full.
bool RunAtUnload(UnloadHook hook);

} // namespace airvane::module
