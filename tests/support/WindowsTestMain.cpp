// The entry point of the test programs on Windows.
//
// GoogleTest keeps its per-thread state on Windows with one watcher thread for every thread
// that touches it; the watcher waits for its thread to end. Run from main(), the tests leave
// the main thread's watcher waiting when the process exits, and 32-bit Wine now and then
// crashes while it stops such a thread at exit (about one exit in 400 with six programs at a
// time on two cores: a segmentation fault in Wine's own signal handling, after every test has
// reported). The tests therefore run on a thread of their own; once that thread has ended, so
// does its watcher, and the process exits with no other thread left.
#include <gtest/gtest.h>

#include <windows.h>

#include <thread>
#include <tlhelp32.h>

namespace {

// The threads of this process, or 0 when they cannot be counted.
int ThreadsOfThisProcess() {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE) {
        return 0;
    }
    int count = 0;
    THREADENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
        count += entry.th32OwnerProcessID == GetCurrentProcessId() ? 1 : 0;
    }
    CloseHandle(snapshot);
    return count;
}

} // namespace

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    int status = 1;
    std::thread([&status] { status = RUN_ALL_TESTS(); }).join();
    // The watchers end a moment after their threads; a thread that does not end within two
    // seconds is left to the exit.
    const DWORD start = GetTickCount();
    while (ThreadsOfThisProcess() > 1 && GetTickCount() - start < 2000) {
        Sleep(1);
    }
    return status;
}
