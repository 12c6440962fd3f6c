// The files a rip's descriptor names.
#include "formats/descriptor_names.h"

#include <cctype>
#include <cstring>

#include "formats/cuesheet.h"
#include "formats/device_name.h"

namespace rip {

namespace {

const size_t MAX_NAME = 259;
const size_t MAX_PATH_CHARS = 519;

}  // namespace

bool safe_name(const std::string& name) {
    if (name.empty() || name.size() > MAX_NAME) return false;
    // "*.ext": the descriptor's own name with another extension, nothing more.
    if (name[0] == '*')
        return name.size() > 1 && name[1] == '.' && name.find_first_of("\\/:", 1) == std::string::npos &&
               safe_name("x" + name.substr(1));
    for (unsigned char c : name)
        if (c < 0x20 || c == 0x7F || strchr("<>\"|?*", c)) return false;
    auto separator = [&](size_t i) { return i < name.size() && (name[i] == '\\' || name[i] == '/'); };
    size_t start = 0;
    // A drive letter, a colon and a backslash may begin an absolute name, and
    // one separator a name in the descriptor's folder; no other colon (a
    // stream of a file) and no two separators (a device namespace, "\\.\"
    // or "\\?\", or a network share).
    if (name.size() >= 3 && isalpha(static_cast<unsigned char>(name[0])) && name[1] == ':' && separator(2))
        start = 3;
    else if (separator(0))
        start = 1;
    if (name.find(':', start) != std::string::npos || separator(start)) return false;
    if (separator(name.size() - 1) || start == name.size()) return false;  // a folder
    while (start <= name.size()) {
        size_t end = name.find_first_of("\\/", start);
        if (end == std::string::npos) end = name.size();
        if (win::is_device_name(name.substr(start, end - start))) return false;
        start = end + 1;
    }
    return true;
}

std::string file_beside(const std::string& descriptor_path, const std::string& name) {
    std::string path;
    if (name.empty()) {
        path = descriptor_path;
    } else if (name[0] == '*') {
        size_t slash = descriptor_path.rfind('\\');
        size_t dot = descriptor_path.rfind('.');
        size_t base_end = dot != std::string::npos && (slash == std::string::npos || dot > slash)
                              ? dot
                              : descriptor_path.size();
        path = descriptor_path.substr(0, base_end) + name.substr(1);
    } else {
        path = cue::image_path(descriptor_path, name);
    }
    if (path.size() > MAX_PATH_CHARS) path.resize(MAX_PATH_CHARS);
    return path;
}

}  // namespace rip
