// Icon transplant: gives the installed game program its icon from an icon
// file, from another program file's first icon group, or made from the game's
// emblem picture. The bytes are checked and built by the formats code; this
// file only finds, reads and writes resources. Every write is one resource
// update, committed at the end or dropped whole.
#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <vector>

#include "formats/emblem.h"
#include "formats/icofile.h"
#include "handles.h"
#include "install.h"
#include "log.h"

namespace {

const WORD ICON_LANG = MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL);  // 0
const WORD GROUP_ID = 1;

const char* const OPEN_FAILED = "cannot update the game executable's icon";
const char* const STAGE_FAILED = "cannot stage the game executable's icon";
const char* const COMMIT_FAILED = "cannot write the game executable's icon";
const char* const NO_MEMORY = "not enough memory for the game executable's icon";
const char* const TOO_MANY = "icon file has too many images";
const char* const TOO_LARGE = "icon file is too large";

// Bounds of what one icon file may put into the game program. A real icon
// file holds a few dozen images at most; one that lists an image thousands of
// times would otherwise cost minutes and grow the program by hundreds of MB.
// The bytes are bounded as an icon group taken from a program is.
const unsigned MAX_IMAGES = 256;
const uint64_t MAX_STAGED_BYTES = ico::MAX_FILE_SIZE;

// A resource update that is dropped unless commit() is called.
struct update_traits {
    using handle = HANDLE;
    static handle invalid() { return nullptr; }
    static bool valid(handle h) { return h != nullptr; }
    static void close(handle h) { EndUpdateResourceA(h, TRUE); }
};

class resource_update {
public:
    explicit resource_update(const char* exe) : h_(BeginUpdateResourceA(exe, FALSE)) {
        if (!h_) open_error_ = why_not_opened(exe);
    }
    explicit operator bool() const { return bool(h_); }
    // Why the update could not begin.
    DWORD open_error() const { return open_error_; }

    // Stages one resource; the platform keeps its own copy of the bytes.
    // Data of length 0 is not staged: it carries nothing, and Wine refuses it.
    bool stage(LPCSTR type, WORD id, const void* data, DWORD size) {
        return size == 0 ||
               UpdateResourceA(h_.get(), type, MAKEINTRESOURCEA(id), ICON_LANG, const_cast<void*>(data), size);
    }
    void drop() { h_.close(); }
    bool commit() { return EndUpdateResourceA(h_.release(), FALSE) != 0; }

private:
    // Wine's BeginUpdateResource leaves no code behind: the file, opened as
    // the update would open it, says why, and a file that opens is no program.
    static DWORD why_not_opened(const char* exe) {
        if (const DWORD error = GetLastError()) return error;
        file_handle f(CreateFileA(exe, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        return f ? DWORD(ERROR_BAD_EXE_FORMAT) : GetLastError();
    }

    unique_win<update_traits> h_;
    DWORD open_error_ = 0;
};

void log_error(const char* msg) { setup_log("ERROR: %s", msg); }

// A resource call that failed: its reason on a line of its own, then the error.
void log_failed(const char* msg, const char* exe, DWORD error) {
    setup_log("cannot change the resources of %s (%s)", exe, error_text(error).c_str());
    log_error(msg);
}

// The bytes of the resource (name, type) in the source module, or nullopt when
// it is missing or cannot be had. A size that would reach past the mapped
// image is refused: the resource directory comes from the file and the loader
// does not check it against the image.
std::optional<ico::resource> load(HMODULE module, LPCSTR name, LPCSTR type) {
    HRSRC r = FindResourceA(module, name, type);
    if (!r) return std::nullopt;
    DWORD size = SizeofResource(module, r);
    HGLOBAL g = LoadResource(module, r);
    const void* p = g ? LockResource(g) : nullptr;
    if (!p) return std::nullopt;

    // A module loaded as an image resource has its low bits set as a tag. The
    // image size lies at the same offset in 32- and 64-bit headers.
    auto base = reinterpret_cast<const uint8_t*>(reinterpret_cast<uintptr_t>(module) & ~uintptr_t(3));
    auto dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    auto nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    uint64_t extent = nt->OptionalHeader.SizeOfImage;
    static_assert(offsetof(IMAGE_OPTIONAL_HEADER32, SizeOfImage) == offsetof(IMAGE_OPTIONAL_HEADER64, SizeOfImage),
                  "SizeOfImage is where both header forms keep it");
    auto at = static_cast<const uint8_t*>(p);
    if (at < base || uint64_t(at - base) > extent || size > extent - uint64_t(at - base)) return std::nullopt;
    return ico::resource{at, size};
}

// The first icon group that EnumResourceNamesA reports. A string name is only
// valid during the callback, so the record keeps a copy of its own.
struct group_pick {
    LPSTR name = nullptr;
    int found = 0;
    int no_memory = 0;  // the copy of a string name could not be made

    group_pick() = default;
    group_pick(const group_pick&) = delete;
    group_pick& operator=(const group_pick&) = delete;
    ~group_pick() {
        if (!IS_INTRESOURCE(name)) free(name);
    }
};

BOOL CALLBACK pick(HMODULE, LPCSTR, LPSTR name, LONG_PTR user) {
    auto* p = reinterpret_cast<group_pick*>(user);
    if (IS_INTRESOURCE(name)) {
        p->name = name;
    } else {
        p->name = _strdup(name);
        if (!p->name) p->no_memory = 1;
    }
    p->found = 1;
    return FALSE;  // the first group is the one taken
}

}  // namespace

int inject_icon_ico(const char* exe, const unsigned char* data, uint64_t len) {
    ico::file_view file(data, len);
    if (file.state() != ico::status::ok) {
        log_error(ico::message(file.state()));
        return 0;
    }
    unsigned n = file.count();
    if (n > MAX_IMAGES) {
        log_error(TOO_MANY);
        return 0;
    }
    // Every image is checked and counted before the program is opened.
    uint64_t staged = 0;
    for (unsigned i = 1; i <= n; i++) {
        std::optional<ico::range> image = file.image(i);
        if (!image) {
            log_error(ico::OUT_OF_RANGE);
            return 0;
        }
        staged += image->length;
    }
    if (staged > MAX_STAGED_BYTES) {
        log_error(TOO_LARGE);
        return 0;
    }

    resource_update update(exe);
    if (!update) {
        log_failed(OPEN_FAILED, exe, update.open_error());
        return 0;
    }
    std::vector<uint8_t> group = file.group_dir();
    if (group.empty()) {
        update.drop();
        log_error(NO_MEMORY);
        return 0;
    }
    for (unsigned i = 1; i <= n; i++) {
        const ico::range image = *file.image(i);
        if (!update.stage(RT_ICON, WORD(i), image.bytes, image.length)) {
            // Images 1 to i - 1 go with the update: the file keeps its old icon.
            const DWORD error = GetLastError();
            update.drop();
            log_failed(STAGE_FAILED, exe, error);
            return 0;
        }
    }
    const bool staged_group = update.stage(RT_GROUP_ICON, GROUP_ID, group.data(), DWORD(group.size()));
    const DWORD error = GetLastError();
    group = std::vector<uint8_t>();
    if (!staged_group) {
        update.drop();
        log_failed(STAGE_FAILED, exe, error);
        return 0;
    }
    if (!update.commit()) {
        log_failed(COMMIT_FAILED, exe, GetLastError());
        return 0;
    }
    setup_log("icon: %d images from the CD", int(n));
    return 1;
}

int inject_icon_from_exe(const char* exe, const char* src) {
    // Mapped as a resource image: none of the source's code runs.
    module_handle module(LoadLibraryExA(src, nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
    if (!module) {
        setup_log("cannot load %s (%s)", src, error_text(GetLastError()).c_str());
        log_error("cannot open the game program for its icon");
        return 0;
    }
    group_pick found;
    EnumResourceNamesA(module.get(), RT_GROUP_ICON, pick, reinterpret_cast<LONG_PTR>(&found));
    if (!found.found) return 0;
    if (found.no_memory) {
        log_error(NO_MEMORY);
        return 0;
    }

    std::optional<ico::resource> group = load(module.get(), found.name, RT_GROUP_ICON);
    if (!group) return 0;
    HMODULE m = module.get();
    ico::icon_lookup lookup = [m](uint16_t id) { return load(m, MAKEINTRESOURCEA(id), RT_ICON); };
    std::vector<uint8_t> image;
    switch (ico::file_from_group(group->data, group->size, lookup, image)) {
    case ico::group_status::ok: break;
    case ico::group_status::bad_group: return 0;
    case ico::group_status::too_large: log_error("the game program's icon is too large"); return 0;
    case ico::group_status::no_memory: log_error(NO_MEMORY); return 0;
    }
    return inject_icon_ico(exe, image.data(), image.size());
}

int inject_icon_lbm(const char* exe, const unsigned char* data, uint64_t len) {
    // The whole conversion comes first: the target is opened only when there
    // is an icon to write.
    emblem::icon_set icon;
    emblem::status st = emblem::convert(data, len, icon);
    if (st != emblem::status::ok) {
        log_error(emblem::message(st));
        return 0;
    }

    resource_update update(exe);
    if (!update) {
        log_failed(OPEN_FAILED, exe, update.open_error());
        return 0;
    }
    bool staged = true;
    for (int k = 1; staged && k <= emblem::ICON_COUNT; k++) {
        const std::vector<uint8_t>& img = icon.images[k - 1];
        staged = update.stage(RT_ICON, WORD(k), img.data(), DWORD(img.size()));
    }
    staged = staged && update.stage(RT_GROUP_ICON, GROUP_ID, icon.group.data(), DWORD(icon.group.size()));
    const DWORD error = GetLastError();
    icon = emblem::icon_set();
    if (!staged) {
        update.drop();
        log_failed(STAGE_FAILED, exe, error);
        return 0;
    }
    if (!update.commit()) {
        log_failed(COMMIT_FAILED, exe, GetLastError());
        return 0;
    }
    return 1;
}
