// Opening a disc: the one place that knows every shape a disc may have. The
// path is normalised; a folder is a folder disc; a rip's descriptor is parsed
// into the sector map of its first session, whose files are opened beside
// it; any other file, and a descriptor that does not parse, is probed as a
// bare image in each sector layout. A way that fails says why.
#include <windows.h>

#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "cdsrc.h"
#include "folder_disc.h"
#include "formats/ccd.h"
#include "formats/cuesheet.h"
#include "formats/descriptor_names.h"
#include "formats/mds.h"
#include "formats/nrg.h"
#include "formats/toc.h"
#include "image_disc.h"

namespace {

struct layout {
    uint32_t sector_size, data_offset;
};
// The layouts a bare image file is probed for, in this order. The probe
// position of each lies where the others hold zeros or user data, not a
// volume descriptor's signature.
const layout layouts[] = {{2048, 0}, {2352, 16}, {2352, 24}, {2448, 16}, {2448, 24}, {2336, 8}};

// A descriptor is a few KB. A larger file is none (an image that merely has a
// .cue name, say) and is never read whole.
const uint64_t MAX_DESCRIPTOR_BYTES = 1 << 20;

bool is_missing(unsigned long error) { return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND; }

bool open_file(const std::string& path, image_file* f, unsigned long* error) {
    f->path = path;
    f->handle = file_handle(
        CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    LARGE_INTEGER size;
    if (!f->handle || !GetFileSizeEx(f->handle.get(), &size)) {
        *error = GetLastError();
        return false;
    }
    f->size = uint64_t(size.QuadPart);
    return true;
}

// A bare file, probed for each layout from its start.
std::unique_ptr<image_disc> open_bare(const std::string& path, std::string* why) {
    image_file f;
    unsigned long error = 0;
    if (!open_file(path, &f, &error)) {
        *why = path + (is_missing(error) ? " is not there" : " cannot be opened (" + error_text(error) + ")");
        return nullptr;
    }
    const uint64_t size = f.size;
    std::vector<image_file> files;
    files.push_back(std::move(f));
    auto disc = std::make_unique<image_disc>("image", std::move(files));
    for (const layout& l : layouts)
        if (disc->mount(rip::single_file(path, size, l.sector_size, l.data_offset))) return disc;
    *why = path + " holds no ISO 9660 volume (a UDF-only disc?)";
    return nullptr;
}

// What a descriptor says: the first session's layout, or why not. A cue
// sheet that we do not understand may still name its image.
struct described {
    const char* kind = "image";
    rip::disc_layout layout;
    std::string why;              // a phrase that follows the descriptor's path
    std::string named;            // a cue sheet's first quoted name, when the sheet is not understood
};

bool read_descriptor(const std::string& path, const std::string& ext, described* d) {
    if (!_stricmp(ext.c_str(), ".nrg")) {
        d->kind = "Nero image";
        image_file f;
        unsigned long error = 0;
        if (!open_file(path, &f, &error)) {
            d->why = "cannot be opened (" + error_text(error) + ")";
            return false;
        }
        // Its chunk list and footer are in its last bytes.
        std::vector<uint8_t> tail(size_t(f.size < nrg::MAX_TAIL ? f.size : nrg::MAX_TAIL));
        if (read_at(f.handle.get(), f.size - tail.size(), tail.data(), DWORD(tail.size()), &error) !=
            int64_t(tail.size())) {
            d->why = "cannot be read (" + error_text(error) + ")";
            return false;
        }
        return nrg::read_disc(tail.data(), tail.size(), f.size, &d->layout, &d->why);
    }
    uint64_t len = 0;
    unsigned char* bytes = read_file(path.c_str(), &len, MAX_DESCRIPTOR_BYTES);
    if (!bytes) {
        d->why = "cannot be read as a descriptor (it is missing, unreadable or larger than 1 MB)";
        return false;
    }
    bytes[len] = 0;
    const char* text = reinterpret_cast<const char*>(bytes);
    bool ok;
    if (!_stricmp(ext.c_str(), ".cue")) {
        ok = cue::read_disc(text, size_t(len), &d->layout, &d->why);
        if (!ok && !cue::image_name(text, size_t(len), &d->named)) d->named.clear();
    } else if (!_stricmp(ext.c_str(), ".ccd")) {
        d->kind = "CloneCD image";
        ok = ccd::read_disc(text, size_t(len), &d->layout, &d->why);
    } else if (!_stricmp(ext.c_str(), ".mds")) {
        d->kind = "Alcohol image";
        ok = mds::read_disc(bytes, size_t(len), &d->layout, &d->why);
    } else {
        d->kind = "cdrdao image";
        ok = toc::read_disc(text, size_t(len), &d->layout, &d->why);
    }
    free(bytes);
    return ok;
}

// The files of a layout, opened beside its descriptor, and the layout placed.
class described_files {
public:
    explicit described_files(const std::string& descriptor) : descriptor_(descriptor) {}

    bool place(const rip::disc_layout& layout, rip::disc_map* map, std::string* why) {
        for (const rip::piece& p : layout.pieces) {
            if (p.stored && !p.file.empty() && !rip::safe_name(p.file)) {
                *why = "names " + p.file + ", which is no file the setup opens (a device, a stream or a network path)";
                return false;
            }
        }
        return rip::place(layout, [this](const std::string& name, uint64_t* size, std::string* w) {
            return size_of(name, size, w);
        }, map, why);
    }
    // The files in the order of the map's file list; one that is not there
    // (after the data track) keeps its path, and the map reads nothing of it.
    std::vector<image_file> take(const rip::disc_map& map) {
        std::vector<image_file> files;
        for (const std::string& name : map.files) {
            image_file& f = opened_[name];
            if (f.path.empty()) f.path = path_of(name);
            files.push_back(std::move(f));
        }
        return files;
    }
    std::string path_of(const std::string& name) const { return rip::file_beside(descriptor_, name); }

private:
    bool size_of(const std::string& name, uint64_t* size, std::string* why) {
        auto at = opened_.find(name);
        if (at == opened_.end()) {
            image_file f;
            unsigned long error = 0;
            if (!open_file(path_of(name), &f, &error)) {
                *why = is_missing(error) ? "names " + name + ", which is not there"
                                         : "names " + name + ", which cannot be opened (" + error_text(error) + ")";
                return false;
            }
            at = opened_.emplace(name, std::move(f)).first;
        }
        *size = at->second.size;
        return true;
    }

    std::string descriptor_;
    std::map<std::string, image_file> opened_;
};

// The other raw mode for the data track's runs: sheets that say MODE1 of a
// Mode 2 rip exist.
rip::disc_map other_mode(rip::disc_map map, unsigned track) {
    for (rip::run& r : map.runs)
        if (r.track == track && r.sector_size >= 2352 && r.data_offset != rip::NO_LAYOUT)
            r.data_offset = r.data_offset == 16 ? 24 : 16;
    return map;
}

std::unique_ptr<image_disc> open_described(const std::string& path, const std::string& ext, std::string* why) {
    described d;
    if (!read_descriptor(path, ext, &d)) {
        // A sheet that we do not understand may still name an image to probe.
        if (!d.named.empty() && rip::safe_name(d.named)) {
            std::string ignored;
            if (auto disc = open_bare(cue::image_path(path, d.named), &ignored)) return disc;
        }
        *why = path + " " + d.why;
        return nullptr;
    }
    described_files files(path);
    rip::disc_map map;
    std::string placed_why;
    if (!files.place(d.layout, &map, &placed_why)) {
        *why = path + " " + placed_why;
        return nullptr;
    }
    const rip::piece& origin = d.layout.pieces[d.layout.origin_piece];
    auto disc = std::make_unique<image_disc>(d.kind, files.take(map));
    if (disc->mount(map) || disc->mount(other_mode(map, origin.track))) return disc;
    const std::string data_file = files.path_of(origin.file);
    // A hand-written sheet may place its data track where its image holds
    // none (a pregap that the image does not have, a mode that does not fit
    // it): its image is then probed as a bare one.
    if (!_stricmp(ext.c_str(), ".cue")) {
        std::string ignored;
        if (auto bare = open_bare(data_file, &ignored)) return bare;
    }
    *why = data_file + " holds no ISO 9660 volume where " + path + " places its data track";
    return nullptr;
}

bool is_descriptor(const char* ext) {
    for (const char* d : {".cue", ".ccd", ".mds", ".nrg", ".toc"})
        if (!_stricmp(ext, d)) return true;
    return false;
}

cd_source* open_disc(const char* path, std::string* why) {
    char p[PATH_CHARS];
    text_printf(p, sizeof p, "%s", path);
    size_t n = strlen(p);
    if (n > 3) {
        while (n > 3 && (p[n - 1] == '\\' || p[n - 1] == '/')) p[--n] = 0;
    } else if (n == 2 && p[1] == ':') {
        strcpy(p + 2, "\\");
    }
    if (!p[0]) {
        *why = "no disc was chosen";
        return nullptr;
    }
    if (is_dir(p)) return new folder_disc(p);
    if (GetFileAttributesA(p) == INVALID_FILE_ATTRIBUTES) {
        const unsigned long error = GetLastError();
        *why = std::string(p) + (is_missing(error) ? " is not there" : " cannot be read (" + error_text(error) + ")");
        return nullptr;
    }
    const char* dot = strrchr(p, '.');
    if (dot && is_descriptor(dot)) {
        if (auto disc = open_described(p, dot, why)) return disc.release();
        // A descriptor that does not parse may be an image under another name.
        std::string ignored;
        return open_bare(p, &ignored).release();
    }
    return open_bare(p, why).release();
}

}  // namespace

cd_source* cd_open(const char* path, std::string* why) {
    std::string reason;
    cd_source* cd = open_disc(path, &reason);
    if (!cd && why) *why = reason;
    return cd;
}
