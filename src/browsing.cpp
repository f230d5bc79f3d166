// Paging through pictures: the list from the files named, the keys that move in it, the
// folder listed beside the window, and unreadable pictures passed over.
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "foundation/file.h"
#include "foundation/log.h"
#include "foundation/memory.h"
#include "src/app.h"
#include "src/folder_lister.h"
#include "src/globals.h"
#include "src/glhelp.h"
#include "src/loading.h"
#include "src/picture_loader.h"
#include "src/wallpaper.h"

namespace {

const char* const kSource = "src/app";  // the application logs as one source

const char* ListingFailure(ListProblem problem)
{
    switch (problem) {
    case LIST_NO_SUCH_FOLDER: return "no such folder";
    case LIST_NOT_A_FOLDER: return "not a folder";
    case LIST_CANNOT_READ: return "the folder cannot be read";
    case LIST_FINE: break;
    }
    return "";
}

// Below this much memory (beside a reserve of four times the picture shown) nothing is read
// ahead: two more pictures would push the system to swap.
constexpr int64_t kAheadReserveBytes = 512LL << 20;

bool MemoryRunsLow(int width, int height)
{
    const int64_t available = AvailableMemoryBytes();
    return available >= 0 && available < kAheadReserveBytes + 4 * int64_t(width) * height * 4;
}

const char* NameOf(const std::string& path)
{
    const char* name = path.c_str() + path.size();
    while (name > path.c_str() && !IsPathSeparator(name[-1]))
        --name;
    return name;
}

}  // namespace

std::string CLumaApp::TitleTail() const
{
    const int shown = pictures.Shown();
    if (shown < 0)
        return std::string();
    return " - " + std::string(NameOf(pictures.PathAt(shown))) + " (" +
           std::to_string(shown + 1) + "/" + std::to_string(pictures.Count()) + ")";
}

void CLumaApp::BrowseFiles(const std::vector<std::string>& paths, bool firstRequested)
{
    LockGuard lock(g_appLock);
    if (paths.empty())
        return;
    std::unique_ptr<CPictureList> list(new CPictureList());
    const bool oneFolder = paths.size() == 1 && IsDirectoryPath(paths[0].c_str());
    if (oneFolder)
        list->SetFolder(paths[0]);
    else if (paths.size() == 1)
        list->SetFile(paths[0]);
    else
        list->SetFiles(paths);
    newPictures = std::move(list);
    if (!oneFolder && !firstRequested)
        RequestBrowsed(newPictures->Target());
    RelistFolder();
}

void CLumaApp::BrowseStep(int step)
{
    LockGuard lock(g_appLock);
    const int index = Browsed().Step(step);
    if (index >= 0) {
        RequestBrowsed(index);
        stepAfterListing = 0;
    } else if (!Browsed().Folder().empty()) {
        // Files added since are found: the move is made once the folder is listed again.
        stepAfterListing = step;
        RelistFolder();
    }
}

void CLumaApp::BrowseJump(int direction)
{
    LockGuard lock(g_appLock);
    stepAfterListing = 0;
    const int index = Browsed().Jump(direction);
    if (index >= 0)
        RequestBrowsed(index);
}

void CLumaApp::RelistFolder()
{
    LockGuard lock(g_appLock);
    const std::string folder = Browsed().Folder();
    if (folder.empty())
        return;
    if (g_lister != nullptr) {
        g_lister->Request(folder);
        return;
    }
    FolderListing listing;
    listing.folder = folder;
    listing.problem = ListFolderFiles(folder.c_str(), &listing.names);
    SortPictureNames(&listing.names);
    TakeListing(listing);
}

bool CLumaApp::ServeListings()
{
    LockGuard lock(g_appLock);
    FolderListing listing;
    if (g_lister == nullptr || !g_lister->Take(&listing))
        return false;
    TakeListing(listing);
    return true;
}

void CLumaApp::TakeListing(const FolderListing& listing)
{
    LockGuard lock(g_appLock);
    CPictureList& list = Browsed().Folder() == listing.folder ? Browsed() : pictures;
    if (list.Folder() != listing.folder)
        return;
    const int step = stepAfterListing;
    stepAfterListing = 0;
    if (listing.problem != LIST_FINE) {
        // Of a folder named alone the user hears; the folder of a file named only keeps the
        // list to that file.
        if (list.Count() == 0) {
            TellUser("%s: %s", listing.folder.c_str(), ListingFailure(listing.problem));
            if (&list == newPictures.get())
                newPictures.reset();
            ShowWindowNow();
        } else {
            LogMessage(__LINE__, kSource, LOG_ERROR, "Folder %s cannot be listed: %s",
                       listing.folder.c_str(), ListingFailure(listing.problem));
        }
        return;
    }
    const int first = list.TakeListing(listing.names);
    if (list.Count() == 0) {
        TellUser("%s: no PNG, JPEG or WebP pictures", listing.folder.c_str());
        if (&list == newPictures.get())
            newPictures.reset();
        ShowWindowNow();
    } else if (first >= 0) {
        RequestBrowsed(first);
    } else if (step != 0 && &list == &Browsed()) {
        const int index = list.Step(step);
        if (index >= 0)
            RequestBrowsed(index);
    }
    UpdateTitle(hwnd);
    ReadAhead();
}

void CLumaApp::RequestBrowsed(int index)
{
    LockGuard lock(g_appLock);
    // Without a loader the reads are made here, one after another while they fail.
    while (index >= 0) {
        const std::string picturePath = Browsed().PathAt(index);
        if (ShowAhead(picturePath))
            return;
        if (g_loader != nullptr && std::strlen(picturePath.c_str()) < sizeof(path)) {
            g_loader->Request(picturePath);
            return;
        }
        const bool loaded = LoadPicture(picturePath.c_str());
        index = AfterBrowsedLoad(picturePath, loaded);
    }
}

int CLumaApp::AfterBrowsedLoad(const std::string& picturePath, bool loaded)
{
    LockGuard lock(g_appLock);
    CPictureList& list = Browsed();
    if (list.Target() < 0 || list.PathAt(list.Target()) != picturePath)
        return -1;
    if (loaded) {
        list.MarkShown();
        if (newPictures) {
            pictures = std::move(*newPictures);
            newPictures.reset();
        }
        UpdateTitle(hwnd);
        ReadAhead();
        return -1;
    }
    const int next = list.PassOver();
    // A newer list none of whose pictures could be shown goes; the one shown stays.
    if (next < 0 && newPictures && newPictures->Shown() < 0)
        newPictures.reset();
    return next;
}

void CLumaApp::UpdateReadsAhead()
{
    LockGuard lock(g_appLock);
    if (g_ahead == nullptr)
        return;
    const int shown = pictures.Shown();
    std::vector<std::string> wanted;
    // Only while the user stays: a list still to come or a picture asked for has the reads.
    if (!newPictures && shown >= 0 && pictures.Target() < 0 &&
        !MemoryRunsLow(pictureWidth, pictureHeight)) {
        for (const int neighbour : {shown + 1, shown - 1}) {
            if (neighbour >= 0 && neighbour < pictures.Count())
                wanted.push_back(pictures.PathAt(neighbour));
        }
    }
    const auto isWanted = [&wanted](const std::string& path) {
        return std::find(wanted.begin(), wanted.end(), path) != wanted.end();
    };
    // Pictures of the places moved away from go at once.
    ahead.erase(std::remove_if(ahead.begin(), ahead.end(),
                               [&](const AheadPicture& kept) { return !isWanted(kept.path); }),
                ahead.end());
    for (const std::string& next : wanted) {
        const bool have = std::any_of(ahead.begin(), ahead.end(),
                                      [&next](const AheadPicture& kept) { return kept.path == next; });
        if (have)
            continue;
        if (aheadAsked != next) {
            aheadAsked = next;
            g_ahead->Request(next);
        }
        return;
    }
    if (!aheadAsked.empty()) {
        aheadAsked.clear();
        g_ahead->CancelAll();
    }
}

bool CLumaApp::ServeAhead()
{
    LockGuard lock(g_appLock);
    if (g_ahead == nullptr)
        return false;
    bool served = false;
    LoaderEvent event;
    while (g_ahead->Take(&event)) {
        served = true;
        if (event.kind != LoaderEvent::DONE || event.path != aheadAsked)
            continue;
        aheadAsked.clear();
        // With the GLSL program the wall holds the picture exactly: it is made now, while the
        // user looks, and the key that moves onto the picture only shows it.
        std::unique_ptr<CWall> wallAhead;
        if (g_hasShaders && event.picture) {
            wallAhead = MakeWallAhead(event.picture.get());
            if (wallAhead)
                event.picture.Reset();
        }
        ahead.push_back(AheadPicture{event.path, std::move(event.picture), event.report,
                                     std::move(wallAhead)});
        // The user may have moved onto it while it was read.
        CPictureList& list = Browsed();
        if (list.Target() >= 0 && list.PathAt(list.Target()) == event.path && ShowAhead(event.path))
            return true;
        UpdateReadsAhead();
    }
    return served;
}

bool CLumaApp::ShowAhead(const std::string& picturePath)
{
    LockGuard lock(g_appLock);
    const auto found = std::find_if(ahead.begin(), ahead.end(), [&](const AheadPicture& kept) {
        return kept.path == picturePath && kept.Readable();
    });
    if (found == ahead.end())
        return false;
    OxHolder<OxSurface> picture(std::move(found->picture));
    std::unique_ptr<CWall> prepared = std::move(found->wall);
    const PictureReport report = found->report;
    ahead.erase(found);
    // The read of the same picture, if one was asked for, is not needed any more.
    if (g_loader != nullptr)
        g_loader->CancelAll();
    ShowRead(picturePath, picture.get(), report, OPEN_FINE, false, std::move(prepared));
    return true;
}

void CLumaApp::KeepWallAhead(const std::string& keptPath, std::unique_ptr<CWall> kept,
                             const PictureReport& report)
{
    LockGuard lock(g_appLock);
    if (g_ahead == nullptr || !g_hasShaders)
        return;
    ahead.erase(std::remove_if(ahead.begin(), ahead.end(),
                               [&](const AheadPicture& old) { return old.path == keptPath; }),
                ahead.end());
    ahead.push_back(AheadPicture{keptPath, OxHolder<OxSurface>(), report, std::move(kept)});
}
