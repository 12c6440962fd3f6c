// A stand-in fuzz target for the replay driver's self-test: it names the
// size of every input it is given, aborts on one that starts with "abort"
// and reads one byte past one that starts with "over".
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    printf("input of %zu bytes\n", size);
    fflush(stdout);
    if (size >= 5 && memcmp(data, "abort", 5) == 0) abort();
    if (size >= 4 && memcmp(data, "over", 4) == 0) {
        volatile uint8_t past = data[size];
        (void)past;
    }
    return 0;
}
