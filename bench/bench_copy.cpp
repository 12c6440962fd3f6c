// Copies whole discs with cd_copy_all, one after the other into one folder
// (as the installation does), and counts the progress advances.
//   bench_copy DEST SOURCE...
#include <windows.h>

#include <cstdio>

#include "cdsrc.h"
#include "log.h"

namespace {

struct counter {
    uint64_t calls;
};

void count(uint64_t, uint64_t, void* user) { static_cast<counter*>(user)->calls++; }

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        fprintf(stderr, "usage: bench_copy DEST SOURCE...\n");
        return 2;
    }
    log_open();  // a failure's reason lands in the setup log
    counter c{0};
    progress p{0, 0, count, &c};
    LARGE_INTEGER freq, t0, t1;
    QueryPerformanceFrequency(&freq);
    QueryPerformanceCounter(&t0);
    for (int i = 2; i < argc; i++) {
        cd_source* cd = cd_open(argv[i]);
        int ok = cd && cd_copy_all(cd, argv[1], &p);
        cd_close(cd);
        if (!ok) {
            fprintf(stderr, "bench_copy: copying %s failed (see the setup log)\n", argv[i]);
            log_close();
            return 1;
        }
    }
    QueryPerformanceCounter(&t1);
    log_close();
    printf("%llu bytes in %.3f s, %llu progress advances\n", (unsigned long long)p.done,
           double(t1.QuadPart - t0.QuadPart) / double(freq.QuadPart), (unsigned long long)c.calls);
    return 0;
}
