// Reads every logical sector of a disc image through its sector map in runs
// of 32 sectors, the run length the image reader copies file data in. With "-"
// it only starts and ends: the start-up time of a program linked like setup.exe.
//   bench_read IMAGE|-
#include <windows.h>

#include <cstdio>
#include <cstring>

#include "cdsrc.h"
#include "image_disc.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: bench_read IMAGE|-\n");
        return 2;
    }
    if (!strcmp(argv[1], "-")) return 0;
    source_ptr disc(cd_open(argv[1]));
    auto* cd = dynamic_cast<image_disc*>(disc.get());
    if (!cd) {
        fprintf(stderr, "bench_read: %s is not an image\n", argv[1]);
        return 1;
    }
    const uint32_t RUN = 32;
    static unsigned char buf[RUN * ISO_SECTOR];
    LARGE_INTEGER freq, t0, t1;
    QueryPerformanceFrequency(&freq);
    QueryPerformanceCounter(&t0);
    // A checksum over one byte per sector keeps the data observably used.
    unsigned sum = 0;
    const uint64_t sectors = cd->sectors();
    for (uint64_t lba = 0; lba < sectors;) {
        uint32_t n = sectors - lba < RUN ? uint32_t(sectors - lba) : RUN;
        if (!cd->read(uint32_t(lba), n, buf, true)) {
            fprintf(stderr, "bench_read: read failed at sector %llu\n", (unsigned long long)lba);
            return 1;
        }
        for (uint32_t i = 0; i < n; i++) sum += buf[i * ISO_SECTOR];
        lba += n;
    }
    QueryPerformanceCounter(&t1);
    printf("%s: %llu sectors, %llu bytes of user data in %.3f s, sum %u\n", cd->describe(),
           (unsigned long long)sectors, (unsigned long long)(sectors * ISO_SECTOR),
           double(t1.QuadPart - t0.QuadPart) / double(freq.QuadPart), sum);
    return 0;
}
