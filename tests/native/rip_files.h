// The rips the disc maker writes (mkdisc.py rip all), for the parser tests:
// the folder is in TLV_RIPS, set by CTest. Bytes are returned exactly sized,
// so that a read past the end is caught by AddressSanitizer.
#pragma once
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "formats/data_track.h"

inline std::vector<uint8_t> rip_file(const std::string& name) {
    const char* dir = getenv("TLV_RIPS");
    if (!dir) return {};
    std::ifstream f(std::string(dir) + "/" + name, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(f), {});
}

// The folder is set: skip a test that reads rips when run outside CTest.
#define REQUIRE_RIPS() \
    if (!getenv("TLV_RIPS")) GTEST_SKIP() << "TLV_RIPS is not set"

inline std::string where(const rip::data_track& t) {
    return t.file + " @" + std::to_string(t.offset) + " " + std::to_string(t.sector_size) + "/" +
           std::to_string(t.data_offset);
}
