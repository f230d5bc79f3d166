// The loader's worker: one read at a time, the newest request first, every older one given up.
#include "src/picture_loader.h"

#include <chrono>
#include <utility>

CPictureLoader::CPictureLoader(PictureReader reader, void (*wake)(), int64_t previewPixels)
    : reader_(reader), wake_(wake), previewPixels_(previewPixels)
{
    worker_ = std::thread([this] { Run(); });
}

CPictureLoader::~CPictureLoader()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
        waiting_.clear();
    }
    changed_.notify_all();
    if (worker_.joinable())
        worker_.join();
}

void CPictureLoader::SetHeaderCallback(void (*callback)(void*, int, int), void* context)
{
    std::lock_guard<std::mutex> lock(mutex_);
    headerCallback_ = callback;
    headerContext_ = context;
}

uint64_t CPictureLoader::Request(const std::string& path, bool reload)
{
    uint64_t ticket = 0;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        ticket = ++newest_;
        waiting_.clear();
        events_.clear();
        waiting_.push_back(Job{ticket, path, reload});
    }
    changed_.notify_all();
    return ticket;
}

void CPictureLoader::CancelAll()
{
    std::lock_guard<std::mutex> lock(mutex_);
    ++newest_;
    waiting_.clear();
    events_.clear();
    changed_.notify_all();
}

bool CPictureLoader::Take(LoaderEvent* event)
{
    std::lock_guard<std::mutex> lock(mutex_);
    while (!events_.empty()) {
        LoaderEvent next = std::move(events_.front());
        events_.pop_front();
        if (next.ticket == newest_) {
            *event = std::move(next);
            return true;
        }
    }
    return false;
}

bool CPictureLoader::Idle()
{
    std::lock_guard<std::mutex> lock(mutex_);
    return waiting_.empty() && !running_ && events_.empty();
}

void CPictureLoader::WaitForEvent(double seconds)
{
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait_for(lock, std::chrono::duration<double>(seconds), [this] {
        return !events_.empty() || (waiting_.empty() && !running_);
    });
}

bool CPictureLoader::Stale(uint64_t ticket)
{
    std::lock_guard<std::mutex> lock(mutex_);
    return stopping_ || ticket != newest_;
}

void CPictureLoader::Post(LoaderEvent&& event)
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (event.ticket != newest_)
            return;
        events_.push_back(std::move(event));
    }
    changed_.notify_all();
    if (wake_ != nullptr)
        wake_();
}

void CPictureLoader::Run()
{
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return stopping_ || !waiting_.empty(); });
        if (stopping_)
            return;
        Job job = std::move(waiting_.front());
        waiting_.pop_front();
        running_ = true;
        lock.unlock();
        ReadOne(job);
        lock.lock();
        running_ = false;
        changed_.notify_all();
    }
}

void CPictureLoader::ReadOne(const Job& job)
{
    struct Hooks {
        CPictureLoader* self;
        const Job* job;
    } hooks = {this, &job};
    PictureHeaderHook hook = {
        [](void* context, int width, int height) {
            auto* h = static_cast<Hooks*>(context);
            if (h->self->Stale(h->job->ticket))
                return;
            void (*callback)(void*, int, int) = nullptr;
            void* callbackContext = nullptr;
            {
                std::lock_guard<std::mutex> lock(h->self->mutex_);
                callback = h->self->headerCallback_;
                callbackContext = h->self->headerContext_;
            }
            if (callback != nullptr)
                callback(callbackContext, width, height);
            LoaderEvent event;
            event.kind = LoaderEvent::HEADER;
            event.ticket = h->job->ticket;
            event.path = h->job->path;
            event.reload = h->job->reload;
            event.width = width;
            event.height = height;
            h->self->Post(std::move(event));
        },
        &hooks};
    hook.cancelled = [](void* context) {
        auto* h = static_cast<Hooks*>(context);
        return h->self->Stale(h->job->ticket);
    };
    if (previewPixels_ > 0) {
        hook.previewPixels = previewPixels_;
        hook.preview = [](void* context, OxSurface* preview) {
            auto* h = static_cast<Hooks*>(context);
            LoaderEvent event;
            event.kind = LoaderEvent::PREVIEW;
            event.ticket = h->job->ticket;
            event.path = h->job->path;
            event.reload = h->job->reload;
            event.width = preview->width;
            event.height = preview->height;
            event.picture.Reset(OxRetain(preview));
            h->self->Post(std::move(event));
        };
    }
    LoaderEvent done;
    done.kind = LoaderEvent::DONE;
    done.ticket = job.ticket;
    done.path = job.path;
    done.reload = job.reload;
    PictureRead read = reader_(job.path.c_str(), &hook, &done.opened);
    done.picture.Reset(read.picture);
    done.report = read.report;
    Post(std::move(done));
}
