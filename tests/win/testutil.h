// Helpers shared by the tests that run under Wine: fixture paths and scratch
// folders, file contents, and a capture of the setup log.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

// A fixture made by tools/mkdisc.py fixtures, as a Windows path.
std::string fixture(const std::string& rel);
// A path inside the Windows build tree.
std::string build_path(const std::string& rel);
// A fresh, empty scratch folder for one test (removed first if it exists).
std::string scratch(const std::string& name);

// The memory the process has in use now (its working set), in bytes.
uint64_t working_set();

std::vector<uint8_t> slurp(const std::string& path);
void spit(const std::string& path, const std::string& bytes);
// Every file below root (relative path with backslashes, content), sorted.
std::vector<std::pair<std::string, std::vector<uint8_t>>> tree_files(const std::string& root);

// Opens the setup log in a scratch temporary folder; lines() reads it back.
struct log_capture {
    explicit log_capture(const std::string& name);
    ~log_capture();
    std::vector<std::string> lines() const;
    // The last line, or "(no line)" when the log is empty, so that a test
    // whose code under test logged nothing fails instead of crashing.
    std::string last() const;
    std::string raw() const;
    std::string path;
};
