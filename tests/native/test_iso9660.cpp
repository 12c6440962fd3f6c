// ISO 9660 directory records, names and the primary volume descriptor, over
// buffers of exactly the size of the data so that any read past it is caught.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "formats/bytes.h"
#include "formats/iso9660.h"

namespace {

using bytes = std::vector<uint8_t>;

struct rec {
    std::string id;
    uint32_t lba = 0, size = 0;
    uint8_t flags = 0;
};

// A directory record as a mastering tool writes it: both-endian numbers, the
// identifier, and a pad byte that keeps the length even.
bytes record(const rec& r) {
    bytes b(33 + r.id.size() + (r.id.size() % 2 == 0 ? 1 : 0), 0);
    b[0] = uint8_t(b.size());
    fmt::put_le32(&b[2], r.lba);
    b[6] = uint8_t(r.lba >> 24), b[7] = uint8_t(r.lba >> 16), b[8] = uint8_t(r.lba >> 8), b[9] = uint8_t(r.lba);
    fmt::put_le32(&b[10], r.size);
    b[14] = uint8_t(r.size >> 24), b[15] = uint8_t(r.size >> 16), b[16] = uint8_t(r.size >> 8), b[17] = uint8_t(r.size);
    b[25] = r.flags;
    b[32] = uint8_t(r.id.size());
    std::copy(r.id.begin(), r.id.end(), b.begin() + 33);
    return b;
}

const rec own{std::string(1, '\0'), 20, 2048, 2}, parent{std::string(1, '\1'), 20, 2048, 2};

// Records laid out in sectors the standard way: a record that does not fit
// the rest of a sector starts the next one. The result is whole sectors.
struct dir_builder {
    bytes data;
    dir_builder& add(const bytes& r) {
        size_t room = ISO_SECTOR - data.size() % ISO_SECTOR;
        if (r.size() > room) data.resize(data.size() + room, 0);
        data.insert(data.end(), r.begin(), r.end());
        return *this;
    }
    dir_builder& add(const rec& r) { return add(record(r)); }
    dir_builder& next_sector() {
        data.resize(data.size() + (ISO_SECTOR - data.size() % ISO_SECTOR) % ISO_SECTOR, 0);
        return *this;
    }
    bytes done() {
        next_sector();
        return data;
    }
};

std::vector<iso_entry> decode(const bytes& d) { return iso::decode_dir(d.data(), d.size(), uint32_t(d.size())); }

std::vector<std::string> names(const std::vector<iso_entry>& entries) {
    std::vector<std::string> out;
    for (const iso_entry& e : entries) out.push_back(e.name);
    return out;
}
using strs = std::vector<std::string>;

std::string clean(const std::string& id) {
    bytes exact(id.begin(), id.end());  // no terminator after the identifier
    char name[64];
    memset(name, 'x', sizeof name);
    iso::clean_name(exact.data(), exact.size(), name);
    return name;
}

TEST(DecodeDir, ListsRecordsInDiscOrderWithTheirFields) {
    bytes d = dir_builder()
                  .add(own)
                  .add(parent)
                  .add({"SETUP.EXE;1", 30, 3000, 0})
                  .add({"DATA", 25, 2048, 0x02})
                  .add({"HIDDEN.TXT;1", 0xFFFFFFFF, 0xFFFFFFFF, 0x01})
                  .add({"PARTS.DAT;1", 40, 3000, 0x80 | 0x04})
                  .add({"ALL", 41, 6144, 0xFF})
                  .done();
    auto entries = decode(d);
    ASSERT_EQ(names(entries), (strs{"SETUP.EXE", "DATA", "HIDDEN.TXT", "PARTS.DAT", "ALL"}));
    EXPECT_EQ(entries[0].lba, 30u);
    EXPECT_EQ(entries[0].size, 3000u);
    EXPECT_EQ(entries[0].dir, 0);
    EXPECT_EQ(entries[1].lba, 25u);
    EXPECT_EQ(entries[1].dir, 1);
    EXPECT_EQ(entries[2].lba, 0xFFFFFFFFu);
    EXPECT_EQ(entries[2].size, 0xFFFFFFFFu);
    EXPECT_EQ(entries[2].dir, 0) << "hidden is not directory";
    EXPECT_EQ(entries[3].dir, 0) << "multi-extent and associated bits are not directory";
    EXPECT_EQ(entries[4].dir, 1);

    // Only the little-endian halves count.
    const size_t setup = 2 * 34;  // after the own and parent records
    d[setup + 6] ^= 0x55;
    d[setup + 14] ^= 0x55;
    entries = decode(d);
    ASSERT_FALSE(entries.empty());
    EXPECT_EQ(entries[0].lba, 30u);
    EXPECT_EQ(entries[0].size, 3000u);
}

TEST(DecodeDir, OwnAndParentRecordsAreSkippedWherever) {
    bytes d = dir_builder()
                  .add({"A;1", 21, 1})
                  .add(own)
                  .add({"B;1", 22, 1})
                  .add(parent)
                  .add({std::string(1, '\2'), 23, 1})
                  .add({std::string(2, '\0'), 24, 1})
                  .done();
    EXPECT_EQ(names(decode(d)), (strs{"A", "B", "\2", "??"}));
}

TEST(DecodeDir, ZeroLengthByteMovesToTheNextSector) {
    dir_builder b;
    b.add(own).add(parent).add({"A;1", 21, 1});
    // Whatever follows the zero byte in the same sector is not a record.
    b.data.push_back(0);
    bytes ghost = record({"GHOST;1", 99, 1});
    b.data.insert(b.data.end(), ghost.begin(), ghost.end());
    b.next_sector().add({"B;1", 22, 1}).next_sector();
    b.data.resize(b.data.size() + ISO_SECTOR, 0);  // a sector with no records at all
    b.add({"C;1", 23, 1});
    bytes d = b.done();
    ASSERT_EQ(d.size(), 4 * ISO_SECTOR);
    EXPECT_EQ(names(decode(d)), (strs{"A", "B", "C"}));

    // Records that fill sectors to the last byte go straight on.
    dir_builder full;
    int n = 0;
    while (full.data.size() < 3 * ISO_SECTOR - 40) full.add({"F" + std::to_string(n++) + ";1", 0, 0});
    d = full.done();
    EXPECT_EQ(decode(d).size(), size_t(n));
}

TEST(DecodeDir, RecordedSizeAndDataLengthBothBoundTheWalk) {
    bytes d = dir_builder().add({"A;1", 21, 1}).next_sector().add({"B;1", 22, 1}).done();
    EXPECT_EQ(names(iso::decode_dir(d.data(), d.size(), 2048)), (strs{"A"}));
    EXPECT_EQ(names(iso::decode_dir(d.data(), d.size(), 2049)), (strs{"A", "B"}));
    EXPECT_EQ(names(iso::decode_dir(d.data(), 2048, 0xFFFFFFFF)), (strs{"A"}));
    EXPECT_TRUE(iso::decode_dir(d.data(), d.size(), 0).empty());
    EXPECT_TRUE(iso::decode_dir(nullptr, 0, 4096).empty());
}

// Each malformed record ends the listing of its sector; the next sector is
// read as usual and nothing outside the data is touched.
TEST(DecodeDir, MalformedRecordsEndTheirSector) {
    auto with_bad = [](const bytes& bad) {
        dir_builder b;
        b.add({"GOOD.TXT;1", 21, 1});
        b.data.insert(b.data.end(), bad.begin(), bad.end());
        b.add({"LOST.TXT;1", 22, 1}).next_sector().add({"NEXT.TXT;1", 23, 1});
        return b.done();
    };
    for (uint8_t len : {1, 20, 32}) {
        bytes bad = record({"SHORT;1", 0, 0});
        bad[0] = len;
        bad.resize(len);
        EXPECT_EQ(names(decode(with_bad(bad))), (strs{"GOOD.TXT", "NEXT.TXT"})) << "length " << int(len);
    }
    bytes idlen = record({"X", 0, 0});
    idlen.resize(40);
    idlen[0] = 40;
    idlen[32] = 250;
    EXPECT_EQ(names(decode(with_bad(idlen))), (strs{"GOOD.TXT", "NEXT.TXT"})) << "identifier past the record";

    // An identifier that ends on the record's last byte (no pad) is fine.
    bytes exact = record({"EXACT.TX;1", 0, 0});
    exact.resize(33 + 10);
    exact[0] = 33 + 10;
    EXPECT_EQ(names(decode(with_bad(exact))), (strs{"GOOD.TXT", "EXACT.TX", "LOST.TXT", "NEXT.TXT"}));
}

TEST(DecodeDir, RecordsRunningPastTheDataAreNotRead) {
    // A record at offset 2000 claiming 200 bytes, in exactly 2048 bytes of data.
    dir_builder b;
    b.add({"GOOD.TXT;1", 21, 1});
    size_t fillers = 0;
    while (b.data.size() < 2000) {
        size_t len = std::min<size_t>(2000 - b.data.size(), 200);
        bytes f = record({"P;1"});
        f.resize(len);
        f[0] = uint8_t(len);
        b.add(f);
        fillers++;
    }
    ASSERT_EQ(b.data.size(), 2000u);
    bytes past = record({"PAST.TXT;1", 1, 1});
    past[0] = 200;
    b.data.insert(b.data.end(), past.begin(), past.end());
    b.data.resize(2048, 0);
    auto listed = names(decode(b.data));
    ASSERT_EQ(listed.size(), 1 + fillers);
    EXPECT_EQ(listed.front(), "GOOD.TXT");
    EXPECT_EQ(listed.back(), "P");

    // Data whose length is no multiple of a sector: the last record is cut.
    bytes r1 = record({"ONE;1", 1, 1}), r2 = record({"TWO;1", 2, 2});
    bytes odd = r1;
    odd.insert(odd.end(), r2.begin(), r2.end() - 1);
    EXPECT_EQ(names(iso::decode_dir(odd.data(), odd.size(), 2048)), (strs{"ONE"}));
    odd.push_back(r2.back());
    EXPECT_EQ(names(iso::decode_dir(odd.data(), odd.size(), 2048)), (strs{"ONE", "TWO"}));

    // A length byte that is the data's last byte.
    bytes last = r1;
    last.push_back(34);
    EXPECT_EQ(names(iso::decode_dir(last.data(), last.size(), 2048)), (strs{"ONE"}));
}

// The XA attributes that vcdimager writes after the identifier (and its
// pad byte, after an even one): only Form 2 of a file counts, and only where
// the whole 14 bytes lie inside the record.
TEST(DecodeDir, XaAttributesMarkForm2Files) {
    auto with_xa = [](const std::string& id, uint16_t attributes, size_t cut = 0) {
        bytes b = record({id, 30, 4096, 0});
        const uint8_t xa[14] = {0, 0, 0, 0, uint8_t(attributes >> 8), uint8_t(attributes), 'X', 'A', 1};
        b.insert(b.end(), xa, xa + 14 - cut);
        b[0] = uint8_t(b.size());
        return b;
    };
    bytes dir = dir_builder()
                    .add(with_xa("AVSEQ01.DAT;1", 0x1555))  // odd identifier: no pad
                    .add(with_xa("EVEN.DAT;1", 0x1555))     // even: after the pad
                    .add(with_xa("FORM1.DAT;1", 0x0D55))
                    .add(with_xa("SHORT.DAT;1", 0x1555, 1))
                    .done();
    auto e = iso::decode_dir(dir.data(), dir.size(), ISO_SECTOR);
    ASSERT_EQ(e.size(), 4u);
    EXPECT_EQ(e[0].form2, 1) << e[0].name;
    EXPECT_EQ(e[1].form2, 1) << e[1].name;
    EXPECT_EQ(e[2].form2, 0) << e[2].name;
    EXPECT_EQ(e[3].form2, 0) << "the signature lies past the record";
}

TEST(CleanName, CutsVersionOneTrailingDotAndLength) {
    EXPECT_EQ(clean("SETUP.EXE;1"), "SETUP.EXE");
    EXPECT_EQ(clean("README.;1"), "README");
    EXPECT_EQ(clean("ABC."), "ABC");
    EXPECT_EQ(clean("DATA"), "DATA");
    EXPECT_EQ(clean("X.TXT;2"), "X.TXT");
    EXPECT_EQ(clean("A..;1"), "A.") << "one dot only";
    EXPECT_EQ(clean("lower.txt;1"), "lower.txt") << "case is kept";
    EXPECT_EQ(clean("CAF\xC9.TXT;1"), "CAF\xC9.TXT") << "bytes are kept";
    EXPECT_EQ(clean(""), "");
    EXPECT_EQ(clean(";1"), "");
    EXPECT_EQ(clean("."), "");
    // A zero byte cannot stand inside a C string: it must not shorten the name
    // into a harmless-looking one, so it shows as a character no file name holds.
    EXPECT_EQ(clean(std::string("A\0B;1", 5)), "A?B");
    EXPECT_FALSE(iso::name_safe(clean(std::string("A\0B;1", 5)).c_str()));
    EXPECT_FALSE(iso::name_safe(clean(std::string("\0", 1)).c_str()));

    std::string long_name = std::string(70, 'L') + ".TXT;1";
    EXPECT_EQ(clean(long_name), std::string(63, 'L'));
    EXPECT_EQ(clean(std::string(62, 'L') + ".TXT;1"), std::string(62, 'L')) << "the cut leaves a dot";
    EXPECT_EQ(clean(std::string(63, 'L') + ";1"), std::string(63, 'L'));

    // Through the decoder: two names equal in their first 63 bytes look the same.
    bytes d = dir_builder()
                  .add({std::string(63, 'B') + "1.TXT;1", 1, 1})
                  .add({std::string(63, 'B') + "2.TXT;1", 2, 2})
                  .done();
    auto entries = decode(d);
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_STREQ(entries[0].name, entries[1].name);
    EXPECT_EQ(entries[1].lba, 2u);
}

TEST(NameSafe, RefusesNamesThatLeaveTheFolderOrOpenADevice) {
    const char* unsafe[] = {
        "", ".", "..", "../ESC.TXT", "..\\ESC.TXT", "A/B", "A\\B", "C:D", "C:\\ESC.TXT",
        ("A\x01" "B"), "\x1f", "\t", "A*B", "A?B", "A\"B", "A<B", "A>B", "A|B",
        "CON", "con", "PRN", "AUX", "NUL", "NUL.TXT", "aux.dat", "COM1", "com9", "LPT1", "LPT9.X",
        "conin$", "CONOUT$", "CON.TXT.GZ", "CON .TXT", "COM\xB9", "lpt\xB2.TXT", "COM\xB3",
        "ABC.", "ABC ", "A. ", "PRN.",
    };
    for (const char* n : unsafe) EXPECT_FALSE(iso::name_safe(n)) << '"' << n << '"';

    const char* safe[] = {
        "SETUP.EXE", "README", "DATA", "lower.txt", "A.B.C", ".HIDDEN", "...A", "A B",
        "CONSOLE", "CONIN", "COM", "COM10", "COM1X", "LPT", "LPT10.TXT", "NULL.TXT", "AUXILIARY",
        "XCON", "CAF\xC9.TXT", "COM\xB4", "A$", "~1",
    };
    for (const char* n : safe) EXPECT_TRUE(iso::name_safe(n)) << '"' << n << '"';
    EXPECT_TRUE(iso::name_safe(std::string(63, 'L').c_str()));
}

TEST(ReadPvd, TakesTheRootRecordOfAPrimaryDescriptor) {
    bytes s(ISO_SECTOR, 0);
    s[0] = 1;
    memcpy(&s[1], "CD001", 5);
    bytes root = record({std::string(1, '\0'), 0x00012345, 0x00ABCDEF, 2});
    std::copy(root.begin(), root.end(), s.begin() + 156);
    uint32_t lba = 0, size = 0;
    ASSERT_TRUE(iso::read_pvd(s.data(), &lba, &size));
    EXPECT_EQ(lba, 0x12345u);
    EXPECT_EQ(size, 0xABCDEFu);

    // Version and block size are not looked at.
    s[6] = 0;
    fmt::put_le16(&s[128], 512);
    EXPECT_TRUE(iso::read_pvd(s.data(), &lba, &size));

    for (uint8_t type : {0, 2, 255}) {
        s[0] = type;
        EXPECT_FALSE(iso::read_pvd(s.data(), &lba, &size)) << int(type);
    }
    s[0] = 1;
    s[5] = '2';
    EXPECT_FALSE(iso::read_pvd(s.data(), &lba, &size));
}

TEST(SectorsFor, RoundsUpWithoutWrapping) {
    EXPECT_EQ(iso::sectors_for(0), 0u);
    EXPECT_EQ(iso::sectors_for(1), 1u);
    EXPECT_EQ(iso::sectors_for(2048), 1u);
    EXPECT_EQ(iso::sectors_for(2049), 2u);
    EXPECT_EQ(iso::sectors_for(100000), 49u);
    EXPECT_EQ(iso::sectors_for(0xFFFFFFFFu), 0x200000u);
}

}  // namespace
