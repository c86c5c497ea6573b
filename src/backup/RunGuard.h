#pragma once
// The guard of a backup run: every step that deletes, renames over, truncates or clears a path at the
// destination asks it first. It refuses a path that is a source folder of the task, lies inside one or
// holds one, so that no setting — a destination equal to a source, a source inside the destination,
// two tasks sharing folders — can make a run destroy what it was asked to protect.
//
// Folders are compared by device and inode, so that links and bind mounts lead to the same answer as
// the plain path; a path that does not exist is compared by its text.

#include <cstdint>
#include <string>
#include <sys/types.h>
#include <unordered_map>
#include <utility>
#include <vector>

class TRunGuard
{
public:
    enum TRefusal
    {
        rfNone,
        rfSourceFolder, // the path is a source folder
        rfInsideSource, // the path lies inside a source folder
        rfHoldsSource   // the path is a folder that holds a source folder
    };

    // A folder the run reads (links followed). Folders that cannot be read are remembered by their text.
    void AddSource(const std::string& dir);
    void Clear();
    bool Empty() const { return FSources.empty(); }
    const std::vector<std::string>& Sources() const { return FSourcePaths; }

    // Whether path may be deleted, renamed over, truncated or cleared.
    TRefusal Check(const std::string& path) const;
    // The text of a refusal for the log.
    static std::string RefusalText(TRefusal refusal);

    // Refusals made since the last call: the run adds them to its errors.
    void CountRefusal() { ++FRefusals; }
    int TakeRefusals()
    {
        int n = FRefusals;
        FRefusals = 0;
        return n;
    }

private:
    struct TId
    {
        dev_t Dev;
        ino_t Ino;
        bool operator==(const TId& o) const { return Dev == o.Dev && Ino == o.Ino; }
    };
    struct TIdHash
    {
        size_t operator()(const TId& id) const
        {
            return std::hash<uint64_t>()(static_cast<uint64_t>(id.Ino) * 31 + static_cast<uint64_t>(id.Dev));
        }
    };
    bool IsSource(const TId& id) const;
    bool Holds(const TId& id) const;
    bool TextInsideSource(const std::string& path, bool& equal, bool& holds) const;
    // Whether folder dir lies in a source folder or is one; remembered per folder.
    bool FolderInSource(const std::string& dir) const;

    std::vector<TId> FSources;
    std::vector<std::string> FSourcePaths; // the sources' own paths, without a trailing delimiter
    std::vector<TId> FHolders;             // every folder above a source
    mutable std::unordered_map<std::string, bool> FFolderCache;
    int FRefusals = 0;
};

// Whether dest (a run's destination folder of source src) cannot work: it is the source folder itself or
// (unless holdsAllowed) holds it. Empty when the pair is sound, else the reason for the log.
std::string SourceDestinationConflict(const std::string& src, const std::string& dest,
                                      bool holdsAllowed = false);
