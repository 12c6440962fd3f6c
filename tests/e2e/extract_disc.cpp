// extract_disc DISC FOLDER: copies a disc (folder, image or rip) into FOLDER
// through the setup's own disc layer, so that test_real_rips.sh can compare
// what it reads with what other programs' readers extract. The setup log's
// lines go to the standard output; exit code 1 when the disc cannot be
// opened or copied whole.
#include <cstdio>
#include <string>

#include "cdsrc.h"
#include "log.h"

static void print_line(void*, const char* line) { std::printf("log: %s\n", line); }

int main(int argc, char** argv) {
    if (argc != 3) {
        std::printf("usage: extract_disc DISC FOLDER\n");
        return 2;
    }
    log_set_sink(print_line, nullptr);
    std::string why;
    source_ptr cd(cd_open(argv[1], &why));
    if (!cd) {
        std::printf("cannot open %s: %s\n", argv[1], why.c_str());
        return 1;
    }
    std::printf("%s\n", cd_describe(cd.get()));
    if (!cd_copy_all(cd.get(), argv[2], nullptr)) {
        std::printf("cannot copy %s\n", argv[1]);
        return 1;
    }
    return 0;
}
