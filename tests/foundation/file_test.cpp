// Files over standard streams, asset name resolution, directory walks and path comparison.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "foundation/assets.h"
#include "foundation/file.h"
#include "test_support.h"

namespace fs = std::filesystem;

namespace {

std::vector<uint8_t> Bytes(const std::string& text)
{
    return std::vector<uint8_t>(text.begin(), text.end());
}

void MakeFile(const std::string& path, const std::string& contents)
{
    const fs::path parent = fs::u8path(path).parent_path();
    if (!parent.empty())
        fs::create_directories(parent);
    ASSERT_TRUE(WriteWholeFile(path, Bytes(contents))) << path;
}

// Whole contents of the file OpenAssetFile gives for name; "<null>" when none.
std::string OpenAndRead(const std::string& name)
{
    OxHolder<OxFile> file(OpenAssetFile(name.c_str()));
    if (!file)
        return "<null>";
    std::string text(size_t(file->GetSize()), '\0');
    EXPECT_EQ(int(text.size()), file->Read(&text[0], int(text.size())));
    return text;
}

std::string Resolve(const std::string& name)
{
    char resolved[kMaxPath] = "garbage";
    const bool found = FindInDirectories(name.c_str(), resolved);
    EXPECT_EQ(found, resolved[0] != '\0') << name;
    return resolved;
}

TEST(AnsiFile, NullStreamGivesFailureResults)
{
    OxAnsiFile file(nullptr);
    char buffer[4] = {};
    EXPECT_EQ(0, file.Read(buffer, 4));
    EXPECT_EQ(0, file.Write(buffer, 4));
    EXPECT_EQ(-1, file.Seek(0, SEEK_SET));
    EXPECT_EQ(-1, file.Tell());
    EXPECT_EQ(0, file.GetSize());
}

TEST(AnsiFile, GetSizeKeepsThePosition)
{
    TempDir dir;
    MakeFile(dir.File("data.bin"), std::string(100, 'x') + "tail");
    OxHolder<OxFile> file(new OxAnsiFile(std::fopen(dir.File("data.bin").c_str(), "rb")));
    ASSERT_EQ(0, file->Seek(37, SEEK_SET));
    EXPECT_EQ(104, file->GetSize());
    EXPECT_EQ(37, file->Tell());
    ASSERT_EQ(0, file->Seek(-4, SEEK_END));
    char tail[8] = {};
    EXPECT_EQ(4, file->Read(tail, 8));
    EXPECT_STREQ("tail", tail);
}

TEST(AssetFile, AddSearchRootKeepsRootsThatDoNotExist)
{
    ScopedSearchRoots roots;
    TempDir dir;
    ScopedCurrentDir cwd(dir.path());
    MakeFile("plain.txt", "p");
    fs::create_directory("existing");
    EXPECT_EQ(-1, AddSearchRoot(nullptr));
    EXPECT_EQ(0, AddSearchRoot("./existing"));
    EXPECT_EQ(0, AddSearchRoot("./plain.txt"));
    EXPECT_EQ(-1, AddSearchRoot("./later"));

    // The missing root takes part in lookups once it exists.
    EXPECT_EQ("<null>", OpenAndRead("late.png"));
    MakeFile("later/late.png", "late");
    EXPECT_EQ("late", OpenAndRead("late.png"));
}

TEST(AssetFile, ResolutionOrder)
{
    ScopedSearchRoots roots;
    TempDir dir;
    ScopedCurrentDir cwd(dir.path());
    MakeFile("a.png", "cwd a");
    MakeFile("paid/assets/a.png", "assets a");
    MakeFile("paid/assets/b.png", "assets b");
    MakeFile("paid/assets/sub/c.png", "assets c");
    MakeFile("more/b.png", "more b");
    MakeFile("more/d.png", "more d");
    MakeFile(dir.File("elsewhere/abs.png"), "absolute");
    ASSERT_EQ(0, AddSearchRoot("./"));
    ASSERT_EQ(0, AddSearchRoot("./paid/assets"));
    ASSERT_EQ(0, AddSearchRoot("./more"));

    const struct {
        std::string name;
        std::string contents;
    } cases[] = {
        {"a.png", "cwd a"},               // unchanged name first
        {"b.png", "assets b"},            // roots in registration order
        {"d.png", "more d"},
        {"sub/c.png", "assets c"},
        {"  b.png\t", "assets b"},        // only the root lookups trim
        {"b.png/", "assets b"},           // and drop one trailing separator
        {"b.png\\", "assets b"},
        {" sub/c.png/ ", "assets c"},
        {"b.png//", "<null>"},            // only one
        {dir.File("elsewhere/abs.png"), "absolute"},
        {"missing.png", "<null>"},
        {"", "<null>"},                   // resolves to a root, a directory
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.contents, OpenAndRead(c.name)) << "name '" << c.name << "'";

    EXPECT_EQ("a.png", Resolve("a.png"));
    EXPECT_EQ("./paid/assets" + NativePath("/b.png"), Resolve(" b.png/"));
    EXPECT_EQ("", Resolve("missing.png"));
    EXPECT_EQ(nullptr, OpenAssetFile(nullptr));
    char resolved[kMaxPath] = "garbage";
    EXPECT_FALSE(FindInDirectories(nullptr, resolved));
    EXPECT_STREQ("", resolved);
}

TEST(AssetFile, TextsThatDoNotFitAreRefusedNotCut)
{
    ScopedSearchRoots roots;
    TempDir dir;
    ScopedCurrentDir cwd(dir.path());
    ASSERT_EQ(0, AddSearchRoot("./"));
    ASSERT_EQ(-1, AddSearchRoot("./paid/assets"));
    // "./paid/assets/" and 245 letters fill the 259 characters a path can hold.
    const std::string kept(245, 'x');
    MakeFile("paid/assets/" + kept, "cut short");
    MakeFile(std::string(250, 'y'), "fits");

    EXPECT_EQ("<null>", OpenAndRead(std::string(250, 'x')));
    EXPECT_EQ("", Resolve(std::string(250, 'x')));
    EXPECT_EQ("cut short", OpenAndRead(kept));
    EXPECT_EQ("fits", OpenAndRead(std::string(250, 'y')));
    // The name alone is past the limit even though trimming would bring it under.
    EXPECT_EQ("<null>", OpenAndRead(std::string(250, 'y') + std::string(20, ' ')));
    EXPECT_EQ("<null>", OpenAndRead(std::string(300, 'y')));
}

TEST(AssetFile, RootsTooLongAreSkipped)
{
    ScopedSearchRoots roots;
    TempDir dir;
    ScopedCurrentDir cwd(dir.path());
    const std::string longRoot = "./" + std::string(200, 'r') + "/" + std::string(60, 's');
    MakeFile(longRoot.substr(0, 259 - 6) + "/p.png", "wrong");
    MakeFile("short/p.png", "right");
    AddSearchRoot(longRoot.c_str());
    ASSERT_EQ(0, AddSearchRoot("./short"));
    EXPECT_EQ("right", OpenAndRead("p.png"));
}

TEST(AssetFile, RecursiveRootWalksTheNamedDirectory)
{
    ScopedSearchRoots roots;
    // Each row its own directory, since registered roots stay for the process.
    const struct {
        const char* root;
        const char* directory;
    } cases[] = {{"./tree1/*", "tree1"}, {"./tree2*", "tree2"}, {"./tree3\\*", "tree3"}};
    for (const auto& c : cases) {
        TempDir dir;
        ScopedCurrentDir cwd(dir.path());
        const std::string directory = c.directory;
        MakeFile(directory + "/one/two/deep.png", "deep");
        ASSERT_EQ(-1, AddSearchRoot(c.root));
        EXPECT_EQ("./" + NativePath(directory + "/one/two/deep.png"), Resolve("deep.png")) << c.root;
        EXPECT_EQ("deep", OpenAndRead("deep.png")) << c.root;
        EXPECT_EQ("", Resolve("DEEP.png")) << c.root;  // the walk compares exactly
    }
}

TEST(AssetFile, OnlyRegularFilesAreOpened)
{
    TempDir dir;
    ScopedCurrentDir cwd(dir.path());
    fs::create_directory("folder.png");
    EXPECT_EQ("folder.png", Resolve("folder.png"));
    EXPECT_EQ("<null>", OpenAndRead("folder.png"));
#ifndef _WIN32
    // Opening a FIFO for reading would block until a writer came.
    ASSERT_EQ(0, mkfifo("pipe.png", 0600));
    EXPECT_EQ("<null>", OpenAndRead("pipe.png"));
    EXPECT_EQ("<null>", OpenAndRead("/dev/null"));
    EXPECT_EQ(nullptr, OpenRegularFile("pipe.png"));
    EXPECT_EQ(nullptr, OpenRegularFile("/dev/zero"));
#else
    // Device names open devices in every folder, with or without an extension;
    // reading the console would wait for a user.
    for (const char* device : {"NUL", "CON", "nul.png", "CON.png", "COM1"}) {
        EXPECT_EQ("<null>", OpenAndRead(device)) << device;
        EXPECT_EQ(nullptr, OpenRegularFile(device)) << device;
    }
#endif
    MakeFile("real.png", "r");
    std::FILE* stream = OpenRegularFile("real.png");
    ASSERT_NE(nullptr, stream);
    std::fclose(stream);
}

TEST(ComparePaths, Table)
{
    const std::string longName(300, 'a');
    const struct {
        const char* a;
        const char* b;
        bool exact;
        int expected;  // 0 equal, -1 or 1 for exact comparisons, 2 any non-zero
    } cases[] = {
        {"WALL.PNG", " wall.png\\", false, 0},
        {"WALL.PNG", " wall.png\\", true, -1},
        {"pics/wall.png", "pics/wall.png/", true, 0},
        {"a//", "a", true, 1},              // one separator removed, not two
        {"/", "/", true, 0},
        {"/", "", true, 1},                 // one character stays as it is
        {"\t a b \r\n\v\f", "a b", true, 0},
        {"\xA0" "a", "a", true, 1},         // bytes past 0x7F are not blanks
        {"\xC4", "\xE4", false, 2},         // only ASCII letters fold
        {"a", "b", true, -1},
        {"b", "a", true, 1},
        {"a", "ab", true, -1},
        {"\x80", "a", true, 1},             // unsigned bytes
        {"[", "a", false, 2},
        {nullptr, "a", true, -1},
        {"a", nullptr, false, -1},
        {longName.c_str(), longName.c_str(), true, 2},  // too long to compare
    };
    for (const auto& c : cases) {
        const int result = ComparePaths(c.a, c.b, c.exact);
        const std::string label = std::string(c.a ? c.a : "<null>") + " | " + (c.b ? c.b : "<null>");
        if (c.expected == 2) {
            EXPECT_NE(0, result) << label;
        } else {
            EXPECT_EQ(c.expected, result) << label;
        }
    }
}

TEST(TrimSpaces, Table)
{
    const struct {
        const char* source;
        std::string expected;
        bool fits;
    } cases[] = {
        {"  a b  ", "a b", true},
        {"\t\n\v\f\r x\r\n", "x", true},
        {" \t ", "", true},
        {"", "", true},
        {nullptr, "", true},
        {"\xA0x\xFF", "\xA0x\xFF", true},
    };
    for (const auto& c : cases) {
        char destination[kMaxPath] = "garbage";
        EXPECT_EQ(c.fits, TrimSpaces(c.source, destination));
        EXPECT_EQ(c.expected, destination) << (c.source ? c.source : "<null>");
    }

    char destination[kMaxPath] = "garbage";
    const std::string fits = "  " + std::string(259, 'f') + "  ";
    EXPECT_TRUE(TrimSpaces(fits.c_str(), destination));
    EXPECT_EQ(std::string(259, 'f'), destination);
    EXPECT_FALSE(TrimSpaces(std::string(260, 'f').c_str(), destination));
    EXPECT_STREQ("", destination);
    EXPECT_FALSE(TrimSpaces("a", nullptr));
}

struct Recorder : OxPathEnumerator {
    struct Seen {
        std::string name;
        std::string fullPath;
        bool isDirectory;
    };
    bool OnEntry(const OxPathEntry& entry) override
    {
        seen.push_back({entry.name, entry.fullPath, entry.isDirectory});
        return stopAt.empty() || stopAt != entry.name;
    }
    size_t IndexOf(const std::string& fullPath) const
    {
        for (size_t i = 0; i < seen.size(); ++i) {
            if (seen[i].fullPath == fullPath)
                return i;
        }
        return seen.size();
    }
    std::string stopAt;
    std::vector<Seen> seen;
};

class WalkDirectoryTest : public testing::Test {
protected:
    void SetUp() override
    {
        for (const char* file : {"a.txt", "z.txt", "sub/b.txt", "sub/deep/c.txt", "sub/stop",
                                 "sub/y.txt", "other/d.txt"})
            MakeFile(dir.File(file), file);
        fs::create_directories(dir.File("sub/deep/empty"));
    }
    TempDir dir;
};

TEST_F(WalkDirectoryTest, ReportsEveryEntryDepthFirst)
{
    Recorder all;
    WalkDirectory(dir.path().c_str(), true, &all);
    ASSERT_EQ(11u, all.seen.size());
    for (const auto& entry : all.seen) {
        EXPECT_NE(".", entry.name);
        EXPECT_NE("..", entry.name);
        const fs::path path(entry.fullPath);
        EXPECT_EQ(entry.name, path.filename().string());
        EXPECT_EQ(fs::is_directory(path), entry.isDirectory) << entry.fullPath;
        // A directory is reported before its contents.
        const std::string parent = path.parent_path().string();
        if (parent != dir.path()) {
            EXPECT_LT(all.IndexOf(parent), all.IndexOf(entry.fullPath)) << entry.fullPath;
        }
    }

    Recorder top;
    WalkDirectory(dir.path().c_str(), false, &top);
    EXPECT_EQ(4u, top.seen.size());
}

TEST_F(WalkDirectoryTest, StopEndsOnlyTheCurrentDirectory)
{
    Recorder walk;
    walk.stopAt = "stop";
    WalkDirectory(dir.path().c_str(), true, &walk);
    const size_t stop = walk.IndexOf(dir.File("sub/stop"));
    ASSERT_LT(stop, walk.seen.size());
    // Nothing more of "sub" after the stop, while the top directory goes on.
    for (size_t i = stop + 1; i < walk.seen.size(); ++i)
        EXPECT_NE(0u, walk.seen[i].fullPath.rfind(dir.File("sub/"), 0)) << walk.seen[i].fullPath;
    for (const char* top : {"a.txt", "z.txt", "other", "other/d.txt"})
        EXPECT_LT(walk.IndexOf(dir.File(top)), walk.seen.size()) << top;

    // A stop at a directory entry does not descend into it.
    Recorder atDirectory;
    atDirectory.stopAt = "deep";
    WalkDirectory(dir.path().c_str(), true, &atDirectory);
    EXPECT_EQ(atDirectory.seen.size(), atDirectory.IndexOf(dir.File("sub/deep/c.txt")));
}

TEST_F(WalkDirectoryTest, FindKeepsTheLastEqualName)
{
    MakeFile(dir.File("sub/deep/pic.png"), "1");
    MakeFile(dir.File("other/pic.png"), "2");
    MakeFile(dir.File("pic.png"), "3");
    MakeFile(dir.File("other/inner/pic.png"), "4");

    // The first equal file ends its directory, so the top-level pic.png is
    // always met last; in "other" the subdirectory counts only when met first.
    CFind find("pic.png");
    WalkDirectory(dir.path().c_str(), true, &find);
    EXPECT_EQ(dir.File("pic.png"), find.found);

    CFind inOther("pic.png");
    WalkDirectory(dir.File("other").c_str(), true, &inOther);
    EXPECT_EQ(dir.File("other/pic.png"), inOther.found);

    CFind capitals("PIC.png");
    WalkDirectory(dir.path().c_str(), true, &capitals);
    EXPECT_STREQ("", capitals.found);

    // Equal names in two sibling directories: the one walked last wins.
    fs::remove(dir.File("pic.png"));
    fs::remove_all(dir.File("other/inner"));
    Recorder order;
    WalkDirectory(dir.path().c_str(), true, &order);
    const bool subFirst = order.IndexOf(dir.File("sub")) < order.IndexOf(dir.File("other"));
    CFind deepOrOther("pic.png");
    WalkDirectory(dir.path().c_str(), true, &deepOrOther);
    EXPECT_EQ(dir.File(subFirst ? "other/pic.png" : "sub/deep/pic.png"), deepOrOther.found);
}

TEST_F(WalkDirectoryTest, MissingDirectoriesAndLinkLoopsEndTheWalk)
{
    Recorder none;
    WalkDirectory(dir.File("missing").c_str(), true, &none);
    WalkDirectory(nullptr, true, &none);
    WalkDirectory(dir.File("a.txt").c_str(), true, &none);
    WalkDirectory(dir.path().c_str(), true, nullptr);
    EXPECT_TRUE(none.seen.empty());

    std::error_code error;
    fs::create_directory_symlink(dir.path(), dir.File("sub/loop"), error);
    if (error)
        GTEST_SKIP() << "the file system has no links";
    Recorder walk;
    WalkDirectory(dir.path().c_str(), true, &walk);
    const size_t loop = walk.IndexOf(dir.File("sub/loop"));
    ASSERT_LT(loop, walk.seen.size());
    EXPECT_TRUE(walk.seen[loop].isDirectory);
    EXPECT_EQ(12u, walk.seen.size());
}

}  // namespace

namespace {

std::vector<std::string> Listed(const std::string& folder, ListProblem* problem)
{
    std::vector<std::string> names;
    *problem = ListFolderFiles(folder.c_str(), &names);
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace

TEST(ListFolderFilesTest, GivesTheFilesAndLinksToFilesOnly)
{
    TempDir dir;
    MakeFile(dir.File("a b.png"), "x");
    MakeFile(dir.File("\xc3\xa9t\xc3\xa9.jpg"), "x");  // UTF-8 "été"
    MakeFile(dir.File("notes.txt"), "x");
    MakeFile(dir.File("inner/deep.png"), "x");
    std::vector<std::string> expected = {"a b.png", "notes.txt", "\xc3\xa9t\xc3\xa9.jpg"};
#ifndef _WIN32
    MakeFile(dir.File("new\nline.png"), "x");
    fs::create_symlink("a b.png", dir.File("link.png"));
    fs::create_symlink("missing.png", dir.File("dangling.png"));
    fs::create_symlink("loop.png", dir.File("loop.png"));
    fs::create_symlink("inner", dir.File("inner-link.png"));
    expected = {"a b.png", "link.png", "new\nline.png", "notes.txt", "\xc3\xa9t\xc3\xa9.jpg"};
#endif
    ListProblem problem = LIST_CANNOT_READ;
    EXPECT_EQ(Listed(dir.path(), &problem), expected);
    EXPECT_EQ(problem, LIST_FINE);
}

TEST(ListFolderFilesTest, SaysWhyAFolderCannotBeListed)
{
    TempDir dir;
    MakeFile(dir.File("file.png"), "x");
    fs::create_directories(dir.File("empty"));
    const struct Row {
        std::string folder;
        ListProblem problem;
    } rows[] = {
        {dir.File("empty"), LIST_FINE},
        {dir.File("missing"), LIST_NO_SUCH_FOLDER},
        {dir.File("file.png"), LIST_NOT_A_FOLDER},
    };
    for (const Row& row : rows) {
        ListProblem problem = LIST_FINE;
        EXPECT_TRUE(Listed(row.folder, &problem).empty()) << row.folder;
        EXPECT_EQ(problem, row.problem) << row.folder;
    }
}

#ifndef _WIN32
TEST(ListFolderFilesTest, AFolderThatCannotBeReadSaysSo)
{
    if (geteuid() == 0)
        GTEST_SKIP() << "root reads every folder";
    TempDir dir;
    MakeFile(dir.File("closed/a.png"), "x");
    ASSERT_EQ(chmod(dir.File("closed").c_str(), 0), 0);
    ListProblem problem = LIST_FINE;
    EXPECT_TRUE(Listed(dir.File("closed"), &problem).empty());
    EXPECT_EQ(problem, LIST_CANNOT_READ);
    chmod(dir.File("closed").c_str(), 0700);
}
#endif

namespace {

// UTF-8 names of a folder and its files that no single ANSI code page spells: German
// letters beside Chinese and Japanese ones, and a character beyond 16 bits.
const char* const kWideFolder = "f\xC3\xB6t\xC3\xB6 \xE5\x86\x99\xE7\x9C\x9F";  // "fötö 写真"
const char* const kWideNames[] = {
    "\xE6\x97\xA5\xE6\x9C\xAC Gr\xC3\xBC\xC3\x9F" "e.png",  // "日本 Grüße.png"
    "Gr\xC3\xBC\xC3\x9F" "e 2.jpg",                           // "Grüße 2.jpg"
    "\xF0\x9F\x93\xB7.webp",                                  // camera emoji
    "plain.png",
};

#ifdef _WIN32
// Wine takes its ANSI code page from LANG and LC_ALL: the names must lie outside it, or
// the test would pass over the ANSI calls as well.
bool AnsiCodePageSpells(const std::string& utf8)
{
    const std::wstring wide = fs::u8path(utf8).wstring();
    BOOL lossy = FALSE;
    WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.c_str(), -1, nullptr, 0, nullptr,
                        &lossy);
    return !lossy;
}
#endif

}  // namespace

TEST(WideNamesTest, FoldersAndFilesOfAnyNameAreListedOpenedAndWritten)
{
    TempDir dir;
    const std::string folder = dir.File(kWideFolder);
#ifdef _WIN32
    ASSERT_FALSE(AnsiCodePageSpells(kWideNames[0])) << "code page " << GetACP();
    ASSERT_FALSE(AnsiCodePageSpells(kWideFolder)) << "code page " << GetACP();
#endif
    for (const char* name : kWideNames)
        MakeFile(folder + "/" + name, name);
    EXPECT_TRUE(IsDirectoryPath(folder.c_str()));

    ListProblem problem = LIST_CANNOT_READ;
    std::vector<std::string> expected(std::begin(kWideNames), std::end(kWideNames));
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(Listed(folder, &problem), expected);
    EXPECT_EQ(problem, LIST_FINE);

    for (const char* name : kWideNames) {
        char path[kMaxPath];
        ASSERT_TRUE(CopyPathText(path, folder.c_str()) && JoinPathName(path, name)) << name;
        EXPECT_TRUE(PathExists(path)) << name;
        EXPECT_TRUE(PathOrLinkExists(path)) << name;
        EXPECT_FALSE(IsDirectoryPath(path)) << name;
        EXPECT_EQ(OpenAndRead(path), name);
    }

    CFind find(kWideNames[0]);
    WalkDirectory(dir.path().c_str(), true, &find);
    EXPECT_EQ(std::string(find.found), NativePath(folder + "/" + kWideNames[0]));

    // Written through the same open: a new file is made, one that exists is never replaced.
    const std::string made = folder + "/" + "\xE6\x96\xB0.png";  // "新.png"
    std::FILE* stream = OpenFile(made.c_str(), "wbx");
    ASSERT_NE(stream, nullptr);
    std::fputs("new", stream);
    std::fclose(stream);
    EXPECT_EQ(OpenAndRead(made), "new");
    stream = OpenFile(made.c_str(), "wbx");
    EXPECT_EQ(stream, nullptr);
    if (stream != nullptr)
        std::fclose(stream);
}

// Paths are kept in UTF-8 on Windows, where bytes that are not UTF-8 name no file and say
// why in the log; elsewhere paths are bytes, and such a name is a name like any other.
TEST(WideNamesTest, BytesThatAreNotUtf8)
{
    TempDir dir;
    const std::string latin1 = dir.File("caf\xE9.png");  // "café" in Latin-1
    std::FILE* stream = nullptr;
    const std::string log = StdoutOf([&] { stream = OpenFile(latin1.c_str(), "wb"); });
#ifdef _WIN32
    EXPECT_EQ(stream, nullptr);
    EXPECT_NE(log.find("PATH_NOT_UTF8"), std::string::npos) << log;
    EXPECT_EQ(OpenAndRead(latin1), "<null>");
    EXPECT_FALSE(PathExists(latin1.c_str()));
#else
    ASSERT_NE(stream, nullptr);
    std::fputs("bytes", stream);
    std::fclose(stream);
    EXPECT_EQ(log, "");
    EXPECT_EQ(OpenAndRead(latin1), "bytes");
    ListProblem problem = LIST_CANNOT_READ;
    EXPECT_EQ(Listed(dir.path(), &problem), std::vector<std::string>{"caf\xE9.png"});
#endif
}
