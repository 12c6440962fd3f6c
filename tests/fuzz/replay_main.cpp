// Replays kept fuzz inputs through a fuzz target's LLVMFuzzerTestOneInput, so
// that the seeds and every finding kept as a regression input run as an
// ordinary test with any compiler (libFuzzer needs clang). Each argument is
// an input file or a folder of them. Every input is handed over in a buffer
// of exactly its size, so that a read one byte past its end is caught by
// AddressSanitizer; the input's name is on the line before a crash.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <system_error>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

namespace fs = std::filesystem;

// Adds what an argument names: the file, or a folder's files in name order.
bool collect(const fs::path& arg, std::vector<fs::path>& inputs) {
    std::error_code ec;
    if (fs::is_regular_file(arg, ec)) {
        inputs.push_back(arg);
        return true;
    }
    if (!fs::is_directory(arg, ec)) return false;
    std::vector<fs::path> found;
    for (fs::directory_iterator it(arg, ec), end; !ec && it != end; it.increment(ec))
        if (it->is_regular_file(ec)) found.push_back(it->path());
    if (ec) return false;
    std::sort(found.begin(), found.end());
    inputs.insert(inputs.end(), found.begin(), found.end());
    return true;
}

bool replay(const fs::path& file) {
    std::error_code ec;
    const uintmax_t size = fs::file_size(file, ec);
    if (ec) return false;
    // Never null, even for an empty input, as libFuzzer hands it over.
    const auto data = std::make_unique<uint8_t[]>(size_t(size));
    std::ifstream in(file, std::ios::binary);
    if (!in.read(reinterpret_cast<char*>(data.get()), std::streamsize(size))) return false;
    LLVMFuzzerTestOneInput(data.get(), size_t(size));
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<fs::path> inputs;
    for (int i = 1; i < argc; i++) {
        if (!collect(argv[i], inputs)) {
            fprintf(stderr, "cannot list %s\n", argv[i]);
            return 2;
        }
    }
    if (inputs.empty()) {
        fprintf(stderr, "no inputs to replay\n");
        return 2;
    }
    for (const fs::path& file : inputs) {
        fprintf(stderr, "replaying %s\n", file.string().c_str());
        if (!replay(file)) {
            fprintf(stderr, "cannot read %s\n", file.string().c_str());
            return 2;
        }
    }
    printf("replayed %zu inputs\n", inputs.size());
    return 0;
}
