// The list of pictures: built from a file, several files or a folder, natural order, the
// ends, and unreadable pictures passed over in the direction of travel.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "src/picture_list.h"

namespace {

std::vector<std::string> Paths(const CPictureList& list)
{
    std::vector<std::string> paths;
    for (int i = 0; i < list.Count(); ++i)
        paths.push_back(list.PathAt(i));
    return paths;
}

// "fötö 写真/" in UTF-8: no byte of a multi-byte character is a separator.
const std::string kWideFolder = "f\xC3\xB6t\xC3\xB6 \xE5\x86\x99\xE7\x9C\x9F/";

const std::vector<std::string> kFolder = {"img10.png", "notes.txt", "img2.PNG", "b c.jpeg",
                                          "img1.webp", "x.JPE", "y.jpg", "z.gif", "img2.png"};

}  // namespace

TEST(PictureListTest, PictureExtensionsInAnyCase)
{
    for (const char* name : {"a.png", "a.PNG", "a.jpg", "a.JpEg", "a.jpe", "a.webp", ".png"})
        EXPECT_TRUE(HasPictureExtension(name)) << name;
    for (const char* name : {"a.gif", "a.png.txt", "png", "a.pn", "a.jpeg~", ""})
        EXPECT_FALSE(HasPictureExtension(name)) << name;
}

TEST(PictureListTest, HowTheListIsBuilt)
{
    const struct Row {
        const char* what;
        std::vector<std::string> named;  // one file, a folder (ends in "/"), or several
        std::vector<std::string> expected;
        int target;  // asked for once the folder is listed
    } rows[] = {
        {"one file: its folder from it", {"pics/img2.png"},
         {"pics/b c.jpeg", "pics/img1.webp", "pics/img2.PNG", "pics/img2.png", "pics/img10.png",
          "pics/x.JPE", "pics/y.jpg"},
         3},
        {"one file in the current folder", {"img10.png"},
         {"b c.jpeg", "img1.webp", "img2.PNG", "img2.png", "img10.png", "x.JPE", "y.jpg"}, 4},
        {"a file that is no picture by name keeps its place", {"pics/notes.txt"},
         {"pics/b c.jpeg", "pics/img1.webp", "pics/img2.PNG", "pics/img2.png", "pics/img10.png",
          "pics/notes.txt", "pics/x.JPE", "pics/y.jpg"},
         5},
        {"a file gone from the listing keeps its place", {"pics/img3.png"},
         {"pics/b c.jpeg", "pics/img1.webp", "pics/img2.PNG", "pics/img2.png", "pics/img3.png",
          "pics/img10.png", "pics/x.JPE", "pics/y.jpg"},
         4},
        {"one file in a folder named in UTF-8", {kWideFolder + "img2.png"},
         {kWideFolder + "b c.jpeg", kWideFolder + "img1.webp", kWideFolder + "img2.PNG",
          kWideFolder + "img2.png", kWideFolder + "img10.png", kWideFolder + "x.JPE",
          kWideFolder + "y.jpg"},
         3},
        {"a folder: from its first picture", {"pics/"},
         {"pics/b c.jpeg", "pics/img1.webp", "pics/img2.PNG", "pics/img2.png", "pics/img10.png",
          "pics/x.JPE", "pics/y.jpg"},
         0},
        {"several files: those in their order, never a listing",
         {"b/z.png", "a/notes.txt", "a/img1.png"}, {"b/z.png", "a/notes.txt", "a/img1.png"}, 0},
    };
    for (const Row& row : rows) {
        CPictureList list;
        const bool folder = row.named.size() == 1 && row.named[0].back() == '/';
        if (folder)
            list.SetFolder(row.named[0].substr(0, row.named[0].size() - 1));
        else if (row.named.size() == 1)
            list.SetFile(row.named[0]);
        else
            list.SetFiles(row.named);
        if (!list.Folder().empty()) {
            std::vector<std::string> names = kFolder;
            SortPictureNames(&names);
            const int asked = list.TakeListing(names);
            EXPECT_EQ(asked, folder ? 0 : -1) << row.what;
        } else {
            EXPECT_EQ(row.named.size(), 3u) << row.what << ": no folder to list";
        }
        EXPECT_EQ(Paths(list), row.expected) << row.what;
        EXPECT_EQ(list.Target(), row.target) << row.what;
    }
}

TEST(PictureListTest, AnEmptyOrPicturelessFolderGivesNothingToAskFor)
{
    for (const std::vector<std::string>& names :
         {std::vector<std::string>{}, std::vector<std::string>{"a.txt", "b.gif"}}) {
        CPictureList list;
        list.SetFolder("pics");
        std::vector<std::string> pictures = names;
        SortPictureNames(&pictures);
        EXPECT_EQ(list.TakeListing(pictures), -1);
        EXPECT_EQ(list.Count(), 0);
        EXPECT_EQ(list.Step(+1), -1);
        EXPECT_EQ(list.Jump(+1), -1);
    }
}

TEST(PictureListTest, StepsStopAtTheEndsAndPassOverInTheDirectionOfTravel)
{
    CPictureList list;
    list.SetFolder("d");
    ASSERT_EQ(list.TakeListing({"1.png", "2.png", "3.png", "4.png"}), 0);
    list.MarkShown();
    EXPECT_EQ(list.Step(-1), -1) << "nothing before the first";
    EXPECT_EQ(list.Shown(), 0);
    EXPECT_EQ(list.Step(+1), 1);
    EXPECT_EQ(list.Step(+1), 2) << "a step from the picture asked for, not yet shown";
    EXPECT_EQ(list.PassOver(), 3) << "2 unreadable: on to 3";
    EXPECT_EQ(list.PassOver(), -1) << "3 unreadable too: the end, the shown picture stays";
    EXPECT_EQ(list.Shown(), 0);
    EXPECT_EQ(list.Target(), -1);
    EXPECT_EQ(list.Jump(-1), 3);
    EXPECT_EQ(list.PassOver(), 2) << "End goes back from the last";
    list.MarkShown();
    EXPECT_EQ(list.Shown(), 2);
    EXPECT_EQ(list.Step(+1), 3);
    list.MarkShown();
    EXPECT_EQ(list.Step(+1), -1) << "nothing wraps";
    EXPECT_EQ(list.Jump(+1), 0);
    list.MarkShown();
    // A file named alone that cannot be read is not passed over.
    list.SetFile("d/3.png");
    EXPECT_EQ(list.PassOver(), -1);
}

TEST(PictureListTest, AListingAgainFindsNewFilesAndKeepsThePlace)
{
    CPictureList list;
    list.SetFile("d/b.png");
    list.TakeListing({"a.png", "b.png"});
    list.MarkShown();
    EXPECT_EQ(list.Step(+1), -1);
    // Files added and the shown one removed since.
    list.TakeListing({"a.png", "c.png", "d.png"});
    EXPECT_EQ(Paths(list), (std::vector<std::string>{"d/a.png", "d/b.png", "d/c.png", "d/d.png"}));
    EXPECT_EQ(list.Shown(), 1);
    EXPECT_EQ(list.Step(+1), 2);
}
