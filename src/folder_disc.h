// A disc given as a folder: a CD drive's root, or a folder into which a disc
// was copied. Read through the file system.
#pragma once
#include <string>

#include "cdsrc.h"

class folder_disc final : public cd_source {
public:
    explicit folder_disc(const char* path);  // the normalised folder

    bool exists(const char* rel) override;
    bool size_of(const char* rel, uint64_t* bytes) override;
    disc_size measure(uint32_t cluster) override;
    bool copy_all(const char* dest, progress* p) override;
    bool lies_in(const char* folder) const override;
    bool holds(const char* path) const override;

private:
    class walker;
    class measurer;
    class copier;
    std::string path_;
};
