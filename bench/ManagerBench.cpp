// Manager construction from configurations of 1, 100 and 1,000 DEVICE elements served by the
// simulated adapter plug-in, against the bare cost of loading that plug-in and resolving its
// entry point; and a listing of 32 registered adapters.
//
// The manager is built once per process, so every sample runs in a forked child: the child
// moves to a folder holding the configuration, times the one construction (or the bare load,
// or a run of listings) and sends the nanoseconds back through a pipe. Fork, exit and wait
// stay outside the measured time.

#include "airvane/manager/Airvane.h"

#include <benchmark/benchmark.h>
#include <dlfcn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <string>

namespace {

constexpr const char kPluginFile[] = "sim_adapter.dll";
constexpr const char kEntryPoint[] = "WLAN_GetAdapter";
constexpr const char kConfigFile[] = "WLANInterfaces.xml";
constexpr int kListingsPerChild = 200;

using Clock = std::chrono::steady_clock;

std::int64_t ElapsedNs(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - start).count();
}

// Runs `body` in a forked child and returns the nanoseconds it reports, or -1 on failure.
std::int64_t RunTimedInChild(const std::function<std::int64_t()>& body) {
    int fds[2];
    if (pipe(fds) != 0) {
        return -1;
    }
    const pid_t pid = fork();
    if (pid < 0) {
        close(fds[0]);
        close(fds[1]);
        return -1;
    }
    if (pid == 0) {
        close(fds[0]);
        const std::int64_t ns = body();
        const ssize_t written = write(fds[1], &ns, sizeof ns);
        _exit(written == static_cast<ssize_t>(sizeof ns) ? 0 : 1);
    }
    close(fds[1]);
    std::int64_t ns = -1;
    if (read(fds[0], &ns, sizeof ns) != static_cast<ssize_t>(sizeof ns)) {
        ns = -1;
    }
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        return -1;
    }
    return ns;
}

std::string ExecutableFolder() {
    char path[4096];
    const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    if (length <= 0) {
        return ".";
    }
    std::string text(path, static_cast<std::size_t>(length));
    return text.substr(0, text.rfind('/'));
}

// A folder holding a configuration of `devices` DEVICE elements under one ADAPTER.
std::string MakeConfigFolder(int devices) {
    char pattern[] = "/tmp/airvane-bench-XXXXXX";
    const char* folder = mkdtemp(pattern);
    if (folder == nullptr) {
        return std::string();
    }
    std::ofstream out(std::string(folder) + "/" + kConfigFile);
    out << "<WLAN>\n  <ADAPTER DLL=\"" << kPluginFile << "\">\n";
    for (int i = 0; i < devices; ++i) {
        out << "    <DEVICE CLASS=\"NET\" HARDWAREID=\"PCI\\VEN_5AA5&amp;DEV_0001\\SIM" << i << "\">\n"
            << "      <X KITNAME=\"Bench kit\"/>\n"
            << "      <SIMADAPTER NAME=\"sim" << i << "\" FRIENDLYNAME=\"Bench adapter " << i << "\">\n"
            << "        <NETWORK SSID=\"Net" << i << "\" QUALITY=\"50\" SECURITY=\"NONE\"/>\n"
            << "      </SIMADAPTER>\n    </DEVICE>\n";
    }
    out << "  </ADAPTER>\n</WLAN>\n";
    return out ? std::string(folder) : std::string();
}

void RemoveConfigFolder(const std::string& folder) {
    std::remove((folder + "/" + kConfigFile).c_str());
    rmdir(folder.c_str());
}

void BM_ManagerConstruction(benchmark::State& state) {
    const int devices = static_cast<int>(state.range(0));
    const std::string folder = MakeConfigFolder(devices);
    if (folder.empty()) {
        state.SkipWithError("cannot write the configuration");
        return;
    }
    for (auto _ : state) {
        const std::int64_t ns = RunTimedInChild([&folder, devices]() -> std::int64_t {
            if (chdir(folder.c_str()) != 0) {
                return -1;
            }
            const Clock::time_point start = Clock::now();
            CAirvane& manager = CAirvane::Instance();
            const std::int64_t elapsed = ElapsedNs(start);
            // Every device must have been registered, or the figure means nothing.
            const stListWLANAdapter& list = manager.ListWLANAdapter(0, nullptr);
            const int expected = devices < 32 ? devices : 32;
            return static_cast<int>(list.adapterCount) == expected ? elapsed : -1;
        });
        if (ns < 0) {
            state.SkipWithError("the child failed to build the manager with every device");
            break;
        }
        state.SetIterationTime(static_cast<double>(ns) * 1e-9);
    }
    RemoveConfigFolder(folder);
    state.counters["devices"] = devices;
}

void BM_BareDlopenDlsym(benchmark::State& state) {
    const std::string path = ExecutableFolder() + "/" + kPluginFile;
    for (auto _ : state) {
        const std::int64_t ns = RunTimedInChild([&path]() -> std::int64_t {
            const Clock::time_point start = Clock::now();
            void* module = dlopen(path.c_str(), RTLD_NOW);
            void* entry = module != nullptr ? dlsym(module, kEntryPoint) : nullptr;
            const std::int64_t elapsed = ElapsedNs(start);
            return entry != nullptr ? elapsed : -1;
        });
        if (ns < 0) {
            state.SkipWithError("cannot load the plug-in");
            break;
        }
        state.SetIterationTime(static_cast<double>(ns) * 1e-9);
    }
}

void BM_ListWLANAdapter32(benchmark::State& state) {
    const std::string folder = MakeConfigFolder(32);
    if (folder.empty()) {
        state.SkipWithError("cannot write the configuration");
        return;
    }
    for (auto _ : state) {
        const std::int64_t ns = RunTimedInChild([&folder]() -> std::int64_t {
            if (chdir(folder.c_str()) != 0) {
                return -1;
            }
            CAirvane& manager = CAirvane::Instance();
            const Clock::time_point start = Clock::now();
            std::uint32_t listed = 0;
            for (int i = 0; i < kListingsPerChild; ++i) {
                listed += manager.ListWLANAdapter(0, nullptr).adapterCount;
            }
            const std::int64_t elapsed = ElapsedNs(start);
            return listed == 32u * kListingsPerChild ? elapsed / kListingsPerChild : -1;
        });
        if (ns < 0) {
            state.SkipWithError("the child did not list 32 adapters");
            break;
        }
        state.SetIterationTime(static_cast<double>(ns) * 1e-9);
    }
    RemoveConfigFolder(folder);
}

} // namespace

BENCHMARK(BM_BareDlopenDlsym)->UseManualTime()->Iterations(200)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ManagerConstruction)->UseManualTime()->Unit(benchmark::kMicrosecond)->Arg(1)->Iterations(200);
BENCHMARK(BM_ManagerConstruction)->UseManualTime()->Unit(benchmark::kMicrosecond)->Arg(100)->Iterations(100);
BENCHMARK(BM_ManagerConstruction)->UseManualTime()->Unit(benchmark::kMicrosecond)->Arg(1000)->Iterations(30);
BENCHMARK(BM_ListWLANAdapter32)->UseManualTime()->Iterations(50)->Unit(benchmark::kMicrosecond);
