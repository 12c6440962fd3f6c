// The image file that a CD cue sheet names.
#include "formats/cuesheet.h"

#include <algorithm>
#include <cstring>

namespace cue {

namespace {
const size_t MAX_PATH_CHARS = 519;
}

bool image_name(const char* text, size_t len, std::string* name) {
    // The sheet is one C string: text after a zero byte is not looked at.
    const char* end = text + strnlen(text, len);
    static const char keyword[] = "FILE";
    const char* kw = std::search(text, end, keyword, keyword + 4);
    if (kw == end) return false;
    const char* open = std::find(kw, end, '"');
    if (open == end) return false;
    const char* close = std::find(open + 1, end, '"');
    if (close == end) return false;
    name->assign(open + 1, close);
    return true;
}

std::string image_path(const std::string& sheet_path, const std::string& name) {
    std::string path;
    if (name.find(':') != std::string::npos) {
        path = name;
    } else {
        size_t slash = sheet_path.rfind('\\');
        path = (slash == std::string::npos ? std::string() : sheet_path.substr(0, slash + 1)) + name;
    }
    if (path.size() > MAX_PATH_CHARS) path.resize(MAX_PATH_CHARS);
    return path;
}

}  // namespace cue
