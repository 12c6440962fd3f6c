// The names that a disc copy has placed in one target folder, compared as the
// file system compares them (without regard to letter case), so that two
// entries of one disc that would land on one file never replace each other
// unnoticed.
#pragma once
#include <map>
#include <string>

class target_names {
public:
    // True the first time a name is met in this folder; false, with the
    // earlier name that lands on the same file in *earlier, after that.
    bool claim(const char* name, std::string* earlier);

private:
    std::map<std::wstring, std::string> taken_;
};
