#pragma once
// One interactive instance per user. The first interactive start holds an exclusive lock on a file
// in the user's runtime folder and listens on a local socket beside it; a later start that finds the
// lock held connects to the socket and hands over what it was asked to do, then ends. The lock
// belongs to the open file: a crashed instance leaves neither a held lock nor a usable socket behind,
// and the next start takes over both.
//
// The request is a short record of netstrings ("<length>:<bytes>,"): a tag, the mode, the working
// folder of the second start and its arguments. The first instance answers "A\n" when it takes the
// request, "R <code>\n" when it has carried it out (the second start ends with that code) or "N\n"
// when it cannot take it now (the second start then does the work itself).

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "mainwindow/BuMainCmdLine.h"

enum THandOverMode
{
    hmEdit,         // open the task file in its editor
    hmControlPanel, // add the task to the backup list and show the main window
    hmShow,         // bring the main window to the front
    hmRun           // run the backup tasks of the arguments and answer with the exit code
};

struct THandOver
{
    THandOverMode Mode = hmShow;
    std::string Dir;               // working folder of the second start
    std::vector<std::string> Args; // its arguments, the program first
};

// The folder of the lock file and the socket: $XDG_RUNTIME_DIR, else a private folder in the
// temporary folder (created with mode 0700).
std::string InstanceDir();

// The request bytes of a hand-over and their reading; false for bytes that are no complete request.
std::string EncodeHandOver(const THandOver& request);
bool DecodeHandOver(const std::string& bytes, THandOver& request);

class TInstanceRequest
{
public:
    explicit TInstanceRequest(int fd, THandOver data) : FFd(fd), Data(std::move(data)) {}
    ~TInstanceRequest();
    TInstanceRequest(const TInstanceRequest&) = delete;
    TInstanceRequest& operator=(const TInstanceRequest&) = delete;
    // The request is taken; its result follows with Finish.
    void Acknowledge();
    void Finish(int exitCode);
    // The request cannot be taken now: the second start does the work itself.
    void Refuse();

private:
    void Send(const std::string& text);
    int FFd;

public:
    THandOver Data;
};

class TInstanceServer
{
public:
    // Becomes the first instance: takes the lock and listens. nullptr when another live instance holds
    // the lock; code then tells why (33 lock held, or the system's code).
    static std::unique_ptr<TInstanceServer> TryCreate(const std::string& dir, uint32_t& code);
    // Gives up the socket before the lock, so that a start during the close never meets a lock without
    // a listener for longer than the close takes.
    ~TInstanceServer();
    TInstanceServer(const TInstanceServer&) = delete;
    TInstanceServer& operator=(const TInstanceServer&) = delete;

    // The listening socket (readable when a second start connects).
    int Fd() const { return FListen; }
    // Takes one waiting connection and reads its request; nullptr when none is waiting or the request
    // is incomplete after two seconds.
    std::unique_ptr<TInstanceRequest> Accept();
    // Ends listening now (the program closes): later starts find no instance.
    void Close();

private:
    TInstanceServer(int lockFd, int listenFd, std::string socketPath)
        : FLock(lockFd), FListen(listenFd), FSocketPath(std::move(socketPath))
    {
    }
    int FLock;
    int FListen;
    std::string FSocketPath;
};

enum THandOverResult
{
    hoDone,       // the first instance carried out the request; exitCode holds its code
    hoRefused,    // the first instance cannot take the request now
    hoNoInstance, // no first instance answers
    hoLost        // the first instance took the request and ended before its result
};

// Hands request over to the first instance in dir. An instance that holds the lock but does not listen
// (it is starting or closing) is waited for at most waitMs. With hmRun the call waits for the result.
THandOverResult HandOver(const std::string& dir, const THandOver& request, int& exitCode, int waitMs = 5000);

// What a start does about the single instance.
enum TInstanceRole
{
    irSeparate,   // a process of its own beside any instance (batch, editor, own settings, end action)
    irInteractive // the interactive instance: first instance, or hand over and end
};
// The role by start flags and command line; handOver receives the request a second interactive start
// sends (mode and whether there is anything to send at all).
TInstanceRole ChooseInstanceRole(uint8_t flags, const TCmdLineValues& cmd, const std::string& taskArg,
                                 bool& send, THandOverMode& mode);
// True when a batch start may hand its backup tasks to a running interactive instance (on a display,
// a plain /force run of the user's own settings that is no parallel child).
bool CanHandOverBatch(uint8_t flags, const TCmdLineValues& cmd);
