#pragma once
// The error words the per-file engine produces (message number with severity; the operation bits are
// added by Finish). FileErrors.cpp holds the texts of the message numbers.

namespace EngineError {
constexpr int HeaderRead = 4;          // reading the header of an encrypted or gzip file failed
constexpr int ZipWrite = 5;            // writing the single-file zip failed
constexpr int BadHeader = 8;           // not a gzip file, no zip local header
constexpr int UserBreak = 128;         // cancelled
constexpr int SeverityError = 0x100;   // "Error - " added to a message number
constexpr int SeverityWarning = 0x200; // "Warning - " added to a message number
constexpr int Create = 0x101;          // 257
constexpr int Open = 0x102;            // 258
constexpr int Read = 0x104;            // 260
constexpr int Write = 0x105;           // 261
constexpr int ResetAttr = 0x106;       // 262
constexpr int LowDisk = 0x107;         // 263
constexpr int GzTrailer = 0x109;       // 265
constexpr int Encrypt = 0x10A;         // 266
constexpr int Decrypt = 0x10B;         // 267
constexpr int Verify = 0x10C;          // 268
constexpr int NotFound = 0x10E;        // 270
constexpr int TimeOut = 0x111;         // 273
constexpr int UndefinedStream = 0x112;
constexpr int SizeDiff = 0x115;   // 277
constexpr int OpenVerify = 0x116; // 278
constexpr int FtpTimeOut = 0x11D;
constexpr int Content = 0x11E; // 286
constexpr int ZipSignature = 0x120;
constexpr int Unsupported = 0x122; // "Unsupported file format"
constexpr int Rename = 0x123;      // 291
constexpr int Delete = 0x126;
constexpr int RenameFile = 0x127; // renaming a file of the archive's own (no text of its own)
constexpr int WarnCreate = 0x201;
constexpr int WarnAttr = 0x206;
constexpr int WarnTime = 0x20F;
constexpr int WarnSummary = 0x210;
constexpr int WarnAcl = 0x213;
constexpr int WarnStreams = 0x225;
constexpr int CopyOpen = 0x302;    // 770
constexpr int CopyRead = 0x304;    // 772
constexpr int CopyMissing = 0x30E; // 782
} // namespace EngineError

// The operation bits of an error word (bits 12-15), which name what the engine was doing.
namespace EngineOperation {
constexpr int Copy = 0x1000;
constexpr int Gzip = 0x2000;
constexpr int Gunzip = 0x3000;
constexpr int Zip = 0x4000;
constexpr int Encrypt = 0x5000;
constexpr int Decrypt = 0x6000;
} // namespace EngineOperation
