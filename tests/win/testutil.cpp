// Helpers shared by the tests that run under Wine.
#include "testutil.h"

#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>

#include "links.h"
#include "log.h"
#include "util.h"

namespace {

std::string env(const char* name) {
    const char* v = getenv(name);
    return v ? v : "";
}

void list(const std::string& root, const std::string& rel,
          std::vector<std::pair<std::string, std::vector<uint8_t>>>& out) {
    WIN32_FIND_DATAA fd;
    std::string dir = rel.empty() ? root : root + "\\" + rel;
    HANDLE h = FindFirstFileA((dir + "\\*").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE) return;
    do {
        std::string name = fd.cFileName;
        if (name == "." || name == "..") continue;
        std::string child = rel.empty() ? name : rel + "\\" + name;
        if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            list(root, child, out);
        else
            out.emplace_back(child, slurp(root + "\\" + child));
    } while (FindNextFileA(h, &fd));
    FindClose(h);
}

}  // namespace

uint64_t working_set() {
    PROCESS_MEMORY_COUNTERS m{};
    m.cb = sizeof m;
    return GetProcessMemoryInfo(GetCurrentProcess(), &m, sizeof m) ? m.WorkingSetSize : 0;
}

std::string fixture(const std::string& rel) { return env("TLV_FIXTURES") + "\\" + rel; }

std::string build_path(const std::string& rel) { return env("TLV_BUILD") + "\\" + rel; }

std::string scratch(const std::string& name) {
    std::string dir = build_path("scratch\\" + name);
    delete_tree(dir.c_str());
    make_dirs(dir.c_str());
    return dir;
}

std::vector<uint8_t> slurp(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(f), {});
}

void spit(const std::string& path, const std::string& bytes) {
    std::ofstream f(path, std::ios::binary);
    f << bytes;
}

std::vector<std::pair<std::string, std::vector<uint8_t>>> tree_files(const std::string& root) {
    std::vector<std::pair<std::string, std::vector<uint8_t>>> out;
    list(root, "", out);
    std::sort(out.begin(), out.end());
    return out;
}

log_capture::log_capture(const std::string& name) {
    std::string tmp = scratch("tmp_" + name);
    SetEnvironmentVariableA("TMP", tmp.c_str());
    SetEnvironmentVariableA("TEMP", tmp.c_str());
    path = tmp + "\\tolvenar_setup.log";
    log_open();
}

log_capture::~log_capture() { log_close(); }

std::string log_capture::raw() const {
    std::vector<uint8_t> b = slurp(path);
    return std::string(b.begin(), b.end());
}

std::vector<std::string> log_capture::lines() const {
    std::vector<std::string> out;
    std::istringstream in(raw());
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        out.push_back(line);
    }
    return out;
}

std::string log_capture::last() const {
    std::vector<std::string> all = lines();
    return all.empty() ? "(no line)" : all.back();
}
