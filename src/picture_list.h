// The pictures the user pages through: the files named, or the pictures of a folder in
// natural order, and the place in them of the picture shown and of the one asked for.
#pragma once

#include <string>
#include <vector>

// A name that ends in .png, .jpg, .jpeg, .jpe or .webp, in any case.
bool HasPictureExtension(const std::string& name);

// Keeps the names with a picture extension, in natural order: what a listing gives the list.
void SortPictureNames(std::vector<std::string>* names);

class CPictureList {
public:
    // Those files, in that order; the first is asked for.
    void SetFiles(const std::vector<std::string>& paths);
    // The file now, and the pictures of its folder, starting at it, once they are listed.
    void SetFile(const std::string& path);
    // The pictures of the folder, once they are listed.
    void SetFolder(const std::string& folder);

    // The folder whose listing the list takes; empty when the list is the files named.
    const std::string& Folder() const { return folder_; }
    // Takes the names of the folder's pictures (as SortPictureNames leaves them): they
    // replace the list. The picture shown and the one asked for keep their place (a file
    // that went away stays until it is passed over). The index of the picture to ask for now
    // (the first of a folder given alone), -1 when none.
    int TakeListing(const std::vector<std::string>& names);

    int Count() const { return int(paths_.size()); }
    // The index of the picture shown, -1 when none of the list is.
    int Shown() const { return shown_; }
    // The index of the picture asked for, -1 when none is.
    int Target() const { return target_; }
    const std::string& PathAt(int index) const { return paths_[size_t(index)]; }

    // Asks for the picture `step` places from the one asked for last (or shown): its index,
    // or -1 at either end, where nothing moves.
    int Step(int step);
    // Asks for the first (direction +1) or the last (-1) picture: its index, -1 when empty.
    int Jump(int direction);
    // The picture asked for is shown.
    void MarkShown();
    // The picture asked for could not be read: the index of the next one in the direction of
    // travel, asked for in its place; -1 when there is none or the request was no travel,
    // and the request ends.
    int PassOver();

private:
    int Ask(int index, int direction);

    std::string folder_;  // listed with this spelling
    std::string prefix_;  // put before each name of the listing
    std::vector<std::string> paths_;
    int shown_ = -1;
    int target_ = -1;
    int direction_ = 0;  // of the travel that asked for target_; 0 for a file named
    bool startWithListing_ = false;  // a folder given alone: its first picture comes with it
};
