// Reads every logical sector of a disc image through read_sectors in runs of
// 32 sectors, the run length the image reader copies file data in. With "-"
// it only starts and ends: the start-up time of a program linked like setup.exe.
//   bench_read IMAGE|-
#include <windows.h>

#include <cstdio>
#include <cstring>

#include "cdsrc.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: bench_read IMAGE|-\n");
        return 2;
    }
    if (!strcmp(argv[1], "-")) return 0;
    cd_source* cd = cd_open(argv[1]);
    if (!cd || !cd->is_image) {
        fprintf(stderr, "bench_read: %s is not an image\n", argv[1]);
        cd_close(cd);
        return 1;
    }
    const uint32_t RUN = 32;
    static unsigned char buf[RUN * ISO_SECTOR];
    LARGE_INTEGER freq, t0, t1;
    QueryPerformanceFrequency(&freq);
    QueryPerformanceCounter(&t0);
    // A checksum over one byte per sector keeps the data observably used.
    unsigned sum = 0;
    for (uint64_t lba = 0; lba < cd->sectors;) {
        uint32_t n = cd->sectors - lba < RUN ? uint32_t(cd->sectors - lba) : RUN;
        if (!read_sectors(cd, uint32_t(lba), n, buf)) {
            fprintf(stderr, "bench_read: read failed at sector %llu\n", (unsigned long long)lba);
            cd_close(cd);
            return 1;
        }
        for (uint32_t i = 0; i < n; i++) sum += buf[i * ISO_SECTOR];
        lba += n;
    }
    QueryPerformanceCounter(&t1);
    printf("%llu sectors (%u bytes each, user data at %u), %llu bytes of user data in %.3f s, sum %u\n",
           (unsigned long long)cd->sectors, cd->sector_size, cd->data_offset,
           (unsigned long long)(cd->sectors * ISO_SECTOR),
           double(t1.QuadPart - t0.QuadPart) / double(freq.QuadPart), sum);
    cd_close(cd);
    return 0;
}
