#pragma once
// Reads the status of a folder's entries on a helper thread, ahead of the loop that compares them with
// their sources: while the loop reads a source file's status, the helper has read the destination's.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/FileStatus.h"

class TStatAhead
{
public:
    TStatAhead() = default;
    TStatAhead(const TStatAhead&) = delete;
    TStatAhead& operator=(const TStatAhead&) = delete;
    ~TStatAhead();

    // Reads names[i] (relative to the open folder dirFd, dirPath with a trailing delimiter naming it in
    // full) in their order; empty names are passed over. A job still running is stopped first. dirFd
    // must stay open until the job is stopped. Returns the job's number (0: no helper could be started,
    // Take always answers false).
    uint64_t Start(int dirFd, const std::string& dirPath, std::vector<std::string> names,
                   bool withArchiveBit);
    // The status of names[index] of job when that is still the running job, the name is name and the
    // helper has read it or is reading it: true with the system's answer in data and code, as
    // ReadFileDataAt gives them. false: the caller reads it itself (an entry the helper has not reached
    // yet is left to the caller). A caller that writes into the folder stops the job first: what the
    // helper read before is out of date then.
    bool Take(uint64_t job, size_t index, const std::string& name, TPosixFileData& data, uint32_t& code);
    // Ends job if it is the running one; the helper no longer uses its folder afterwards.
    void Stop(uint64_t job);
    void Stop();

private:
    enum TSlotState : int
    {
        Free,    // not reached yet
        Reading, // the helper reads it
        Read,    // Code and Data hold the answer
        NotRead, // passed over (job stopped)
        Claimed  // the caller reads it itself
    };
    struct TSlot
    {
        std::atomic<int> State{Free};
        uint32_t Code = 0;
        TPosixFileData Data;
    };
    struct TJob
    {
        uint64_t Id = 0;
        int DirFd = -1;
        std::string DirPath;
        std::vector<std::string> Names;
        bool WithArchiveBit = false;
        std::unique_ptr<TSlot[]> Slots;
        std::atomic<bool> Cancel{false};
    };
    void Work();

    std::mutex FLock;
    std::condition_variable FWake;
    std::condition_variable FIdle;
    std::thread FThread;
    std::shared_ptr<TJob> FJob;     // the caller's job
    std::shared_ptr<TJob> FPending; // handed to the helper, taken by it
    bool FBusy = false;
    bool FQuit = false;
    uint64_t FLastId = 0;
};
