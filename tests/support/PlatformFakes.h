#pragma once
// Doubles of the platform's machine interfaces for tests: volumes, share connections, machine facts and
// the event log, each with fixed answers and a record of what it was asked.
//
//   FakeVolumeProvider volumes;
//   volumes.Volumes.push_back(...);
//   VolumeProvider::SetCurrent(&volumes);   // and SetCurrent(nullptr) at the end

#include <cstdint>
#include <string>
#include <vector>

#include "platform/EventLog.h"
#include "platform/MachineInfo.h"
#include "platform/MountTable.h"
#include "platform/NetShares.h"

// A fixed list of volumes. QueryVolume answers for paths below a listed mount point (textually, the
// longest one wins) without touching the file system.
class FakeVolumeProvider : public VolumeProvider
{
public:
    std::vector<TVolumeInfo> Volumes;
    std::vector<TVolumeInfo> ListVolumes() override { return Volumes; }
    bool QueryVolume(const std::string& path, TVolumeInfo& info) override;
};

// Shares that connect as told; the calls are recorded.
class FakeShareConnector : public ShareConnector
{
public:
    struct TCall
    {
        std::string Op; // "connect" or "disconnect"
        std::string Root;
        std::string User;
        std::string Password;
    };
    // Results of the coming Connect calls, first to last; when empty, Connect succeeds.
    std::vector<uint32_t> ConnectResults;
    // Where connected shares appear (a folder per share is made below it: "<server>/<share>").
    std::string MountBase;
    std::vector<TCall> Calls;
    std::vector<std::string> Connected;

    uint32_t Connect(const TShareName& share, const std::string& user, const std::string& domain,
                     const std::string& password) override;
    uint32_t Disconnect(const TShareName& share) override;
    std::string LocalPath(const TShareName& share) override;
};

class FakeMachineInfo : public MachineInfo
{
public:
    std::string User = "tester";
    std::string FullName = "Test User";
    std::string Host = "testhost";
    std::string OsRelease = "NAME=\"Test Linux\"\nPRETTY_NAME=\"Test Linux 1.0\"\n";
    std::string Kernel = "6.1.0-test";
    std::string Arch = "x86_64";
    bool Root = false;
    bool SessionsReadable = true;
    std::vector<TUserSession> Sessions;

    std::string UserName() override { return User; }
    std::string RealName() override { return FullName; }
    std::string HostName() override { return Host; }
    std::string OsReleaseText() override { return OsRelease; }
    std::string KernelRelease() override { return Kernel; }
    std::string Machine() override { return Arch; }
    bool IsRoot() override { return Root; }
    bool UserSessions(std::vector<TUserSession>& sessions) override
    {
        sessions = Sessions;
        return SessionsReadable;
    }
};

// Keeps the entries in memory.
class RecordingEventLogSink : public EventLogSink
{
public:
    bool IsAvailable = true;
    std::vector<TEventRecord> Records;
    bool Available() override { return IsAvailable; }
    uint32_t Report(const TEventRecord& record) override
    {
        Records.push_back(record);
        return 0;
    }
};
