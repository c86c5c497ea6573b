#pragma once
// The progress callbacks of the copy engine and its actions, and the direction of the work reports of
// the FTP and mail clients.

#include <cstdint>
#include <functional>

enum TFileAction
{
    acNone,
    acCopy,
    acCompress,
    acUnCompress,
    acEncrypt,
    acDecrypt,
    acVerify,
    acZipVerify,
    acAddVerify,
    acFtpWrite,
    acFtpRead,
    acScan,
    acZipCopy,
    acSegmentCopy,
    acPrepare
};

// ACount < 0 starts a phase with the total -ACount (-1: no total); ACount >= 0 is the number of bytes of
// the phase done so far. ASpeedLimit marks the one pass of a transform that the speed limit applies to.
using TFileProgressEvent = std::function<void(TFileAction AAction, int64_t ACount, bool ASpeedLimit)>;

// Direction of a work report of the FTP and mail clients: bytes received (retrieve, listing) or sent
// (store, mail).
enum TWorkMode : int
{
    wmRead,
    wmWrite
};
