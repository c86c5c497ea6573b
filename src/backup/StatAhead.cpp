#include "backup/StatAhead.h"

#include <system_error>

TStatAhead::~TStatAhead()
{
    Stop();
    {
        std::lock_guard<std::mutex> guard(FLock);
        FQuit = true;
    }
    FWake.notify_all();
    if (FThread.joinable())
        FThread.join();
}

uint64_t TStatAhead::Start(int dirFd, const std::string& dirPath, std::vector<std::string> names,
                           bool withArchiveBit)
{
    Stop();
    auto job = std::make_shared<TJob>();
    job->Id = ++FLastId;
    job->DirFd = dirFd;
    job->DirPath = dirPath;
    job->Names = std::move(names);
    job->WithArchiveBit = withArchiveBit;
    job->Slots = std::make_unique<TSlot[]>(job->Names.size());
    {
        std::lock_guard<std::mutex> guard(FLock);
        if (!FThread.joinable()) {
            try {
                FThread = std::thread([this] { Work(); });
            } catch (const std::system_error&) {
                return 0; // no thread to be had: the caller reads every status itself
            }
        }
        FPending = job;
        FJob = job;
    }
    FWake.notify_all();
    return job->Id;
}

bool TStatAhead::Take(uint64_t job, size_t index, const std::string& name, TPosixFileData& data,
                      uint32_t& code)
{
    TJob* j = FJob.get();
    if (!j || j->Id != job || index >= j->Names.size() || j->Names[index] != name)
        return false;
    TSlot& slot = j->Slots[index];
    // Not reached yet: the caller reads it now and the helper passes over it, so that the caller never
    // waits for a helper that is still waking up. Being read: the answer is a moment away.
    int state = Free;
    if (slot.State.compare_exchange_strong(state, Claimed, std::memory_order_acq_rel))
        return false;
    for (int spin = 0; state == Reading; ++spin) {
        if (spin < 4096) {
#if defined(__x86_64__) || defined(__i386__)
            __builtin_ia32_pause();
#endif
        } else {
            std::this_thread::yield();
        }
        state = slot.State.load(std::memory_order_acquire);
    }
    if (state != Read)
        return false;
    data = slot.Data;
    code = slot.Code;
    return true;
}

void TStatAhead::Stop(uint64_t job)
{
    if (FJob && FJob->Id == job)
        Stop();
}

void TStatAhead::Stop()
{
    if (!FJob)
        return;
    FJob->Cancel.store(true);
    std::unique_lock<std::mutex> guard(FLock);
    if (FPending == FJob)
        FPending.reset();
    FIdle.wait(guard, [this] { return !FBusy; });
    FJob.reset();
}

void TStatAhead::Work()
{
    for (;;) {
        std::shared_ptr<TJob> job;
        {
            std::unique_lock<std::mutex> guard(FLock);
            FWake.wait(guard, [this] { return FQuit || FPending; });
            if (FQuit)
                return;
            job = std::move(FPending);
            FPending.reset();
            FBusy = true;
        }
        std::string path;
        for (size_t i = 0; i < job->Names.size(); ++i) {
            TSlot& slot = job->Slots[i];
            const bool wanted = !job->Cancel.load(std::memory_order_relaxed) && !job->Names[i].empty();
            int state = Free;
            // an entry the caller has claimed is passed over
            if (!slot.State.compare_exchange_strong(state, wanted ? Reading : NotRead,
                                                    std::memory_order_acq_rel) ||
                !wanted)
                continue;
            state = NotRead;
            try {
                path = job->DirPath + job->Names[i];
                slot.Code =
                    ReadFileDataAt(job->DirFd, job->Names[i], path, false, job->WithArchiveBit, slot.Data);
                state = Read;
            } catch (...) {
            }
            slot.State.store(state, std::memory_order_release);
        }
        {
            std::lock_guard<std::mutex> guard(FLock);
            FBusy = false;
        }
        FIdle.notify_all();
    }
}
