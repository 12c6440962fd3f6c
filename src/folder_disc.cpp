// A disc given as a folder, read through the file system.
#include "folder_disc.h"

#include <windows.h>

#include <cstring>
#include <set>
#include <vector>

#include "disc_names.h"
#include "formats/iso_walk.h"
#include "handles.h"
#include "links.h"
#include "log.h"

// One walk over the disc's folders, files in listing order. Every real
// folder is walked, whatever links lead to it; a linked folder (a symbolic
// link or junction) only when what it leads to has not been walked in this
// walk, which cuts loops and keeps links from multiplying the work: each
// folder is walked at most once more for each of its (at most 17) ancestors
// that a link leads to. Folders deeper than 16 below the root are skipped,
// as on an image.
class folder_disc::walker {
public:
    virtual ~walker() = default;

    bool walk(const std::string& root) {
        root_ = root;
        file_id id;
        if (identity_of(root.c_str(), &id)) walked_.insert(id);
        return walk_dir(root, 0);
    }
    // The folder at path is never walked, whatever leads to it: the copy's
    // own output, which a link on the disc may reach.
    void keep_out(const char* path) { identity_of(path, &kept_out_); }

protected:
    enum class then { retry, go_on, stop };
    // The folder cannot be listed (error is the system's code).
    virtual then unlisted(const std::string& dir, unsigned long error) = 0;
    // A file of the folder being walked; false ends the walk.
    virtual bool file(const std::string& path, const char* name, uint64_t size) = 0;
    // A folder about to be walked; false ends the walk, and a folder that is
    // not to be walked is left out by returning true from leave_out.
    virtual bool enter(const std::string& path, const char* name) = 0;
    virtual bool leave_out(const std::string&, const char*) { return false; }
    virtual void leave() = 0;
    // A folder left out, and why: a linked folder that leads to one walked
    // already or whose target is unknown, or the folder kept out.
    virtual void skipped(const std::string& path, const char* why) = 0;

    // A path's place on the disc, for a line or a question.
    const char* on_disc(const std::string& path) const {
        const char* rel = path.c_str() + std::min(root_.size(), path.size());
        while (*rel == '\\') rel++;
        return *rel ? rel : "\\";
    }

private:
    bool walk_dir(const std::string& dir, int depth) {
        for (;;) {
            DWORD error = 0;
            switch (list_dir(dir, depth, &error)) {
            case listing::whole: return true;
            case listing::ended: return false;
            case listing::broken: break;
            }
            const then next = unlisted(dir, error);
            if (next != then::retry) return next == then::go_on;
        }
    }

    enum class listing { whole, ended, broken };
    // Walks what one folder lists; ended when a file or folder ended the
    // walk, broken (error holds the system's code) when the listing failed.
    listing list_dir(const std::string& dir, int depth, DWORD* error) {
        WIN32_FIND_DATAA fd;
        find_handle search(FindFirstFileA((dir + "\\*").c_str(), &fd));
        if (!search) {
            *error = GetLastError();
            // A drive root with nothing in it.
            return *error == ERROR_FILE_NOT_FOUND ? listing::whole : listing::broken;
        }
        do {
            if (!strcmp(fd.cFileName, ".") || !strcmp(fd.cFileName, "..")) continue;
            const std::string child = dir + "\\" + fd.cFileName;
            if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
                if (!file(child, fd.cFileName, uint64_t(fd.nFileSizeHigh) << 32 | fd.nFileSizeLow))
                    return listing::ended;
                continue;
            }
            if (depth == iso::MAX_DEPTH) continue;
            file_id id;
            const bool known = identity_of(child.c_str(), &id);
            if (known && id == kept_out_) {
                skipped(child, "it is the folder that the disc is copied into");
                continue;
            }
            if (fd.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
                if (!known || !walked_.insert(id).second) {
                    skipped(child, "it links to a folder that is copied already or cannot be told apart");
                    continue;
                }
            } else if (known) {
                walked_.insert(id);
            }
            if (leave_out(child, fd.cFileName)) continue;
            if (!enter(child, fd.cFileName) || !walk_dir(child, depth + 1)) return listing::ended;
            leave();
        } while (FindNextFileA(search.get(), &fd));
        // A listing that breaks off (a damaged folder on a CD) is no end of it.
        *error = GetLastError();
        return *error == ERROR_NO_MORE_FILES ? listing::whole : listing::broken;
    }

    std::string root_;
    std::set<file_id> walked_;
    file_id kept_out_{};
};

class folder_disc::measurer : public walker {
public:
    explicit measurer(uint32_t cluster) : cluster_(cluster) {}
    disc_size size;

protected:
    then unlisted(const std::string&, unsigned long) override { return then::go_on; }
    bool file(const std::string&, const char*, uint64_t bytes) override {
        size.bytes += bytes;
        size.allocated += whole_clusters(bytes, cluster_);
        return true;
    }
    bool enter(const std::string&, const char*) override {
        size.allocated += whole_clusters(1, cluster_);
        return true;
    }
    void leave() override {}
    void skipped(const std::string&, const char*) override {}

private:
    uint32_t cluster_;
};

// Copies what the walk visits: a read that fails is tried again
// READ_RETRIES times; then the place is named and the disc's question asked.
class folder_disc::copier : public walker {
public:
    copier(folder_disc* disc, const char* dest, progress* p) : disc_(disc), p_(p) {
        targets_.push_back({dest, {}});
        make_dirs(dest);
        keep_out(dest);
    }

protected:
    then unlisted(const std::string& dir, unsigned long error) override {
        setup_log("cannot list the folder %s of disc %d (%s)", on_disc(dir), disc_->number(),
                  error_text(error).c_str());
        if (disc_->ask_again(on_disc(dir))) return then::retry;
        setup_log("read error in %s", on_disc(dir));
        return then::stop;
    }
    bool file(const std::string& path, const char* name, uint64_t size) override {
        std::string target;
        if (!target_of(path, name, &target)) return true;
        const char* file = on_disc(path);
        auto again = [this, &path, file](uint64_t offset, unsigned long error, unsigned failures) {
            const auto at = static_cast<unsigned long long>(offset);
            // Each answer Retry starts a new round of retries.
            const unsigned retry = (failures - 1) % (READ_RETRIES + 1) + 1;
            if (retry <= READ_RETRIES) {
                setup_log("retrying byte %llu of %s (%s)", at, path.c_str(), error_text(error).c_str());
                pause_before_retry(retry);
                return true;
            }
            setup_log("cannot read byte %llu of %s (%s)", at, file, error_text(error).c_str());
            return disc_->ask_again(file);
        };
        if (!not_a_link(target.c_str())) return false;
        // No more than the listing said: a file that grows, or a link to a
        // device that never ends, must not fill the drive.
        const int ok = copy_file(path.c_str(), target.c_str(), p_, again, size);
        SetFileAttributesA(target.c_str(), FILE_ATTRIBUTE_NORMAL);
        return ok != 0;
    }
    bool leave_out(const std::string& path, const char* name) override {
        std::string target;
        if (!target_of(path, name, &target)) return true;
        targets_.push_back({target, {}});
        return false;
    }
    bool enter(const std::string&, const char*) override {
        return make_own_folder(targets_.back().path.c_str());
    }
    void leave() override { targets_.pop_back(); }
    void skipped(const std::string& path, const char* why) override {
        setup_log("skipped %s: %s", on_disc(path), why);
    }

private:
    struct target {
        std::string path;
        target_names names;
    };

    // Two names of one folder that the file system takes for one (on a disc
    // read through a case-sensitive file system) must not replace each other.
    bool target_of(const std::string& path, const char* name, std::string* out) {
        target& here = targets_.back();
        std::string earlier;
        if (!here.names.claim(name, &earlier)) {
            setup_log("skipped %s: the file system takes it for %s, which came before it", on_disc(path),
                      earlier.c_str());
            return false;
        }
        *out = here.path + "\\" + name;
        return true;
    }

    folder_disc* disc_;
    progress* p_;
    std::vector<target> targets_;
};

folder_disc::folder_disc(const char* path) : cd_source(std::string("folder ") + path), path_(path) {}

bool folder_disc::exists(const char* rel) {
    char p[PATH_CHARS];
    text_printf(p, sizeof p, "%s\\%s", path_.c_str(), rel);
    return path_exists(p) != 0;
}

bool folder_disc::size_of(const char* rel, uint64_t* bytes) {
    char p[PATH_CHARS];
    text_printf(p, sizeof p, "%s\\%s", path_.c_str(), rel);
    WIN32_FILE_ATTRIBUTE_DATA a;
    if (!GetFileAttributesExA(p, GetFileExInfoStandard, &a) || (a.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return false;
    *bytes = uint64_t(a.nFileSizeHigh) << 32 | a.nFileSizeLow;
    return true;
}

disc_size folder_disc::measure(uint32_t cluster) {
    measurer m(cluster);
    m.walk(path_);
    return m.size;
}

bool folder_disc::copy_all(const char* dest, progress* p) {
    copier c(this, dest, p);
    return c.walk(path_);
}

bool folder_disc::lies_in(const char* folder) const { return path_inside(path_.c_str(), folder) != 0; }

bool folder_disc::holds(const char* path) const { return path_inside(path, path_.c_str()) != 0; }
