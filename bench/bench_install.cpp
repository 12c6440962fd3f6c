// One whole installation through do_install, as "setup.exe /silent" runs it,
// with a progress callback that counts its calls; at the end the process's
// peak memory. Carries the game program resource like setup.exe.
//   bench_install CD1 CD2 DIR
#include <windows.h>
#include <psapi.h>

#include <cstdio>

#include "install.h"
#include "log.h"
#include "run_mode.h"

namespace {

struct counter {
    uint64_t calls, last_done, total;
};

void count(uint64_t done, uint64_t total, void* user) {
    auto* c = static_cast<counter*>(user);
    c->calls++;
    c->last_done = done;
    c->total = total;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        fprintf(stderr, "usage: bench_install CD1 CD2 DIR\n");
        return 2;
    }
    install_opts o{};
    snprintf(o.cd[0], sizeof o.cd[0], "%s", argv[1]);
    snprintf(o.cd[1], sizeof o.cd[1], "%s", argv[2]);
    snprintf(o.install_dir, sizeof o.install_dir, "%s", argv[3]);
    o.desktop = 1;
    o.start_menu = 1;

    set_unattended(true);
    log_open();
    counter c{0, 0, 0};
    LARGE_INTEGER freq, t0, t1;
    QueryPerformanceFrequency(&freq);
    QueryPerformanceCounter(&t0);
    int ok = do_install(&o, count, &c);
    QueryPerformanceCounter(&t1);
    log_close();

    PROCESS_MEMORY_COUNTERS mem{};
    mem.cb = sizeof mem;
    GetProcessMemoryInfo(GetCurrentProcess(), &mem, sizeof mem);
    printf("result %d in %.3f s\n", ok, double(t1.QuadPart - t0.QuadPart) / double(freq.QuadPart));
    printf("progress callbacks %llu, last done %llu of %llu\n", (unsigned long long)c.calls,
           (unsigned long long)c.last_done, (unsigned long long)c.total);
    printf("peak working set %llu KiB, peak private bytes %llu KiB\n",
           (unsigned long long)(mem.PeakWorkingSetSize >> 10),
           (unsigned long long)(mem.PeakPagefileUsage >> 10));
    return ok ? 0 : 1;
}
