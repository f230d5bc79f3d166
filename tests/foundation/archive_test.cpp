// Archive member lookup over ZIP files and pack archives built by the tests, real and hostile.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "foundation/archive.h"
#include "foundation/assets.h"
#include "foundation/file.h"
#include "test_support.h"

namespace {

constexpr uint16_t kDescriptorFlag = 8;
constexpr uint32_t kNoSignature = 0;

struct Member {
    std::string name;
    std::string data;
    uint32_t signature = kZipMemberSignature;
    uint16_t flags = 0;
    int64_t sizeField = -1;  // the header's compressed size; -1 for the data's size
    uint32_t descriptorSignature = kNoSignature;  // written before a descriptor when set
};

void Put16(std::vector<uint8_t>& out, uint32_t value)
{
    out.push_back(uint8_t(value));
    out.push_back(uint8_t(value >> 8));
}

void Put32(std::vector<uint8_t>& out, uint32_t value)
{
    Put16(out, value & 0xFFFF);
    Put16(out, value >> 16);
}

void PutText(std::vector<uint8_t>& out, const std::string& text)
{
    out.insert(out.end(), text.begin(), text.end());
}

std::vector<uint8_t> Build(const std::vector<Member>& members)
{
    std::vector<uint8_t> out;
    for (const Member& m : members) {
        Put32(out, m.signature);
        Put16(out, 20);  // version needed
        Put16(out, m.flags);
        Put16(out, 0);  // stored
        Put32(out, 0);  // time and date
        Put32(out, 0x12345678);  // CRC-32, not checked
        Put32(out, m.sizeField < 0 ? uint32_t(m.data.size()) : uint32_t(m.sizeField));
        Put32(out, uint32_t(m.data.size()));
        Put16(out, uint32_t(m.name.size()));
        Put16(out, 3);
        PutText(out, m.name);
        PutText(out, "ext");
        PutText(out, m.data);
        if (m.flags & kDescriptorFlag) {
            if (m.descriptorSignature != kNoSignature)
                Put32(out, m.descriptorSignature);
            Put32(out, 0x12345678);
            Put32(out, uint32_t(m.data.size()));
            Put32(out, uint32_t(m.data.size()));
        }
    }
    return out;
}

// A central directory entry, which ends the walk of the local headers.
void PutCentralEntry(std::vector<uint8_t>& out, const std::string& name)
{
    Put32(out, 0x02014b50);
    for (int i = 0; i < 24; ++i)
        out.push_back(0);
    Put16(out, uint32_t(name.size()));
    for (int i = 0; i < 16; ++i)
        out.push_back(0);
    PutText(out, name);
}

class ArchiveTest : public testing::Test {
protected:
    std::string Write(const std::vector<uint8_t>& bytes, const std::string& name = "archive.bin")
    {
        const std::string path = dir.File(name);
        EXPECT_TRUE(WriteWholeFile(path, bytes));
        return path;
    }

    static int FindIn(const std::string& path, const char* name)
    {
        OxHolder<OxFile> file(new OxAnsiFile(std::fopen(path.c_str(), "rb")));
        const int result = FindArchiveMember(file.get(), name);
        EXPECT_EQ(result >= 0, ArchiveHasMember(path.c_str(), name)) << name;
        return result;
    }

    int FindIn(const std::vector<uint8_t>& bytes, const char* name)
    {
        return FindIn(Write(bytes), name);
    }

    // The lookup's result with the log lines it wrote.
    static int FindLogged(const std::string& path, const char* name, std::string* log)
    {
        int result = -1;
        *log = StdoutOf([&] {
            OxHolder<OxFile> file(new OxAnsiFile(std::fopen(path.c_str(), "rb")));
            result = FindArchiveMember(file.get(), name);
        });
        return result;
    }

    TempDir dir;
};

TEST_F(ArchiveTest, KindIsToldByTheFirstFourBytes)
{
    const struct {
        std::vector<uint8_t> bytes;
        bool zip;
        bool pack;
    } cases[] = {
        {{}, false, false},
        {{0x50, 0x4B, 0x03, 0x04}, true, false},
        {{0x26, 0x09, 0x81, 0x19, 0x00}, false, true},
        {{0x50, 0x4B, 0x03}, false, false},
        {{0x04, 0x03, 0x4B, 0x50}, false, false},  // big-endian order
        {{0x50, 0x4B, 0x01, 0x02}, false, false},
    };
    for (const auto& c : cases) {
        const std::string path = Write(c.bytes);
        EXPECT_EQ(c.zip, IsZipArchive(path.c_str())) << c.bytes.size();
        EXPECT_EQ(c.pack, IsPackArchive(path.c_str())) << c.bytes.size();
    }
    for (const std::string& path : {dir.File("missing.zip"), dir.path()}) {
        EXPECT_FALSE(IsZipArchive(path.c_str()));
        EXPECT_FALSE(IsPackArchive(path.c_str()));
        EXPECT_FALSE(ArchiveHasMember(path.c_str(), "a"));
    }
    EXPECT_FALSE(IsZipArchive(nullptr));
    EXPECT_FALSE(IsPackArchive(nullptr));
    EXPECT_FALSE(ArchiveHasMember(nullptr, "a"));
    EXPECT_TRUE(IsZipArchive(TestdataPath("zip/test.zip").c_str()));
}

TEST_F(ArchiveTest, NameTestsInOrder)
{
    for (const uint32_t signature : {kZipMemberSignature, kPackMemberSignature}) {
        std::vector<Member> members = {
            {"first.txt", "1"},
            {"Pics\\Wall.png", "wall!!"},
            {"cbf43926", "crc"},  // CRC-32 of "123456789"
            {"dir/sub/Deep.png", "dd"},
            {" blank.png/", "blank"},
        };
        for (Member& m : members)
            m.signature = signature;
        const std::string path = Write(Build(members));

        const struct {
            const char* request;
            int expected;
            bool warning;
        } cases[] = {
            {"Pics\\Wall.png", 6, false},  // exact
            {"pics\\wall.png", 6, true},   // case-insensitive, with a warning
            {"wall.png", 6, false},        // final component
            {"WALL.PNG", 6, false},
            {"Pics/Wall.png", -1, false},
            {"123456789", 3, false},       // hashed name
            {"deep.png", 2, false},
            {"dir/sub/Deep.png", 2, false},
            {"blank.png", 5, false},       // stored blanks and separator ignored
            {"first.txt", 1, false},
            {"other.png", -1, false},
        };
        for (const auto& c : cases) {
            std::string log;
            EXPECT_EQ(c.expected, FindLogged(path, c.request, &log)) << c.request;
            if (c.warning) {
                EXPECT_NE(std::string::npos, log.find("SAME_FILE_IN_DEFERENT_CASE")) << log;
            } else {
                EXPECT_EQ("", log) << c.request;
            }
            EXPECT_EQ(c.expected >= 0, ArchiveHasMember(path.c_str(), c.request)) << c.request;
        }
    }
    EXPECT_EQ(-1, FindArchiveMember(nullptr, "a"));
}

TEST_F(ArchiveTest, HashedNameIsExactLowercase)
{
    EXPECT_EQ(-1, FindIn(Build({{"CBF43926", "crc"}}), "123456789"));
    EXPECT_EQ(3, FindIn(Build({{"cbf43926", "crc"}}), "123456789"));
    // The hash runs over the name as passed, blanks and capitals included.
    EXPECT_EQ(-1, FindIn(Build({{"cbf43926", "crc"}}), " 123456789"));
}

TEST_F(ArchiveTest, DataDescriptorsWithEitherSignatureOrNone)
{
    for (const uint32_t descriptor : {kZipDescriptorSignature, kPackDescriptorSignature, kNoSignature}) {
        for (const uint32_t signature : {kZipMemberSignature, kPackMemberSignature}) {
            Member streamed{"streamed.bin", "abcd", signature, kDescriptorFlag};
            streamed.descriptorSignature = descriptor;
            const auto bytes = Build({streamed, {"after.png", "after"}});
            EXPECT_EQ(5, FindIn(bytes, "after.png")) << std::hex << descriptor << " " << signature;
            EXPECT_EQ(4, FindIn(bytes, "streamed.bin"));
        }
    }
}

TEST_F(ArchiveTest, ZeroSizeBeforeADescriptorStopsTheWalk)
{
    Member streamed{"streamed.bin", "abcd", kZipMemberSignature, kDescriptorFlag, 0,
                    kZipDescriptorSignature};
    const auto bytes = Build({streamed, {"after.png", "after"}});
    EXPECT_EQ(0, FindIn(bytes, "streamed.bin"));
    EXPECT_EQ(-1, FindIn(bytes, "after.png"));
}

TEST_F(ArchiveTest, CentralDirectoryEndsTheWalk)
{
    auto bytes = Build({{"a.png", "aa"}});
    PutCentralEntry(bytes, "b.png");
    const auto after = Build({{"b.png", "bb"}});
    bytes.insert(bytes.end(), after.begin(), after.end());
    EXPECT_EQ(2, FindIn(bytes, "a.png"));
    EXPECT_EQ(-1, FindIn(bytes, "b.png"));
}

TEST_F(ArchiveTest, RealArchives)
{
    const struct {
        const char* file;
        const char* request;
        int expected;
    } cases[] = {
        {"test.zip", "test.txt", 25},
        {"test.zip", "gophercolor16x16.png", 785},
        {"test.zip", "This is a zipfile comment.", -1},
        {"unix.zip", "hello", 8},
        {"unix.zip", "dir/bar", 6},
        {"unix.zip", "bar", 6},
        {"unix.zip", "dir/empty", 0},
        {"unix.zip", "readonly", 12},
        {"unix.zip", "dir", -1},
        {"go-with-datadesc-sig.zip", "foo.txt", 0},
        {"go-with-datadesc-sig.zip", "bar.txt", -1},  // sizes only in the descriptor
    };
    for (const auto& c : cases) {
        const std::string path = TestdataPath(std::string("zip/") + c.file);
        ASSERT_TRUE(IsZipArchive(path.c_str())) << path;
        EXPECT_FALSE(IsPackArchive(path.c_str()));
        EXPECT_EQ(c.expected, FindIn(path, c.request)) << c.file << " " << c.request;
    }
}

TEST_F(ArchiveTest, TruncatedAtEveryLength)
{
    Member first{"a.png", "aaaaaaaaaa", kZipMemberSignature, kDescriptorFlag};
    first.descriptorSignature = kZipDescriptorSignature;
    const auto whole = Build({first, {"b.png", "bbbbbbbbbb"}});
    const size_t firstDataEnd = 30 + 5 + 3 + 10;
    for (size_t length = 0; length <= whole.size(); ++length) {
        const std::string path =
            Write(std::vector<uint8_t>(whole.begin(), whole.begin() + long(length)));
        EXPECT_EQ(length >= firstDataEnd ? 10 : -1, FindIn(path, "a.png")) << length;
        EXPECT_EQ(length == whole.size() ? 10 : -1, FindIn(path, "b.png")) << length;
    }
}

TEST_F(ArchiveTest, SizesThatRunPastTheEndOrBackwards)
{
    // Read as signed numbers, -38 seeks back to the member's own header and -81
    // to the member before it: a walk that trusted them would never end.
    for (const int64_t size : {int64_t(0xFFFFFFFF), int64_t(0x80000000), int64_t(0x7FFFFFFF),
                               int64_t(uint32_t(-38)), int64_t(uint32_t(-81)),
                               int64_t(uint32_t(-30))}) {
        Member hostile{"x.png", "xxxxx"};
        hostile.sizeField = size;
        const auto bytes = Build({{"a.png", "aaaaa"}, hostile, {"c.png", "ccccc"}});
        const std::string path = Write(bytes);
        EXPECT_EQ(5, FindIn(path, "a.png")) << size;
        EXPECT_EQ(-1, FindIn(path, "x.png")) << size;
        EXPECT_EQ(-1, FindIn(path, "c.png")) << size;
        EXPECT_EQ(-1, FindIn(path, "missing")) << size;
    }
}

TEST_F(ArchiveTest, LongNamesAreSkippedNotCut)
{
    // Cut at 1023 bytes the name would end in "/a.png".
    const std::string pastNameBuffer = std::string(1017, 'd') + "/a.png" + "/rest";
    // Cut at 259 bytes and trimmed it would read "a.png".
    const std::string pastPathBuffer = "a.png" + std::string(254, ' ') + std::string(41, 'z');
    const std::string fitsNameBuffer = std::string(1017, 'd') + "/b.png";
    const std::string fitsPathBuffer(259, 'p');
    const auto bytes = Build({{pastNameBuffer, "1"},
                              {pastPathBuffer, "22"},
                              {std::string("a.png\0hidden", 12), "333"},
                              {std::string(5000, 'n'), "4444"},
                              {fitsNameBuffer, "55555"},
                              {fitsPathBuffer, "666666"},
                              {"last.png", "7777777"}});
    const std::string path = Write(bytes);
    EXPECT_EQ(-1, FindIn(path, "a.png"));
    EXPECT_EQ(-1, FindIn(path, std::string(259, 'n').c_str()));
    EXPECT_EQ(5, FindIn(path, "b.png"));
    EXPECT_EQ(6, FindIn(path, fitsPathBuffer.c_str()));
    EXPECT_EQ(7, FindIn(path, "last.png"));
    // A request that does not fit its buffer finds nothing either.
    EXPECT_EQ(-1, FindIn(path, (fitsPathBuffer + "p").c_str()));
}

TEST_F(ArchiveTest, EveryBitFlipEndsCleanly)
{
    Member streamed{"s.png", "ssss", kPackMemberSignature, kDescriptorFlag};
    streamed.descriptorSignature = kPackDescriptorSignature;
    const auto whole = Build({{"a.png", "aaaa"}, streamed, {"b.png", "bbbb"}});
    for (size_t byte = 0; byte < whole.size(); ++byte) {
        for (int bit = 0; bit < 8; ++bit) {
            auto bytes = whole;
            bytes[byte] ^= uint8_t(1u << bit);
            const std::string path = Write(bytes);
            for (const char* name : {"b.png", "zzz"}) {
                const int result = FindIn(path, name);
                EXPECT_GE(result, -1);
                EXPECT_LE(result, int(bytes.size()));
            }
        }
    }
}

TEST_F(ArchiveTest, ArchiveRootsResolveToMembersThatDoNotOpen)
{
    ScopedSearchRoots roots;
    ScopedCurrentDir cwd(dir.path());
    Write(Build({{"wall.png", "w"}, {"both.png", "b"}}), "pics.zip");
    Write(Build({{"sky.png", "s", kPackMemberSignature}, {"both.png", "b", kPackMemberSignature}}),
          "pack.dat");
    Write({'n', 'o', 't', 'e', 's'}, "notes.txt");
    for (const char* root : {"./", "./notes.txt", "./pics.zip", "./pack.dat"})
        ASSERT_EQ(0, AddSearchRoot(root));

    const struct {
        const char* name;
        const char* resolved;
    } cases[] = {
        {"wall.png", "./pics.zip@@wall.png"},
        {"sky.png", "./pack.dat@@sky.png"},
        {"both.png", "./pics.zip@@both.png"},  // first archive root wins
        {" sky.png", "./pack.dat@@ sky.png"},  // the name is kept as given
        {"missing.png", ""},
    };
    for (const auto& c : cases) {
        char resolved[kMaxPath] = "garbage";
        EXPECT_FALSE(FindInDirectories(c.name, resolved)) << c.name;
        EXPECT_EQ(c.resolved[0] != '\0', FindInArchives(c.name, resolved)) << c.name;
        EXPECT_STREQ(c.resolved, resolved);
        OxFile* file = OpenAssetFile(c.name);
        EXPECT_EQ(nullptr, file) << c.name;
        OxRelease(file);
    }
}

}  // namespace
