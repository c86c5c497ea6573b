#pragma once
// The error words the per-file engine produces (message number with severity; the operation bits are
// added by Finish).

namespace EngineError {
constexpr int HeaderRead = 4;     // reading the header of an encrypted or gzip file failed
constexpr int ZipWrite = 5;       // writing the single-file zip failed
constexpr int BadHeader = 8;      // not a gzip file, no zip local header
constexpr int UserBreak = 128;    // cancelled
constexpr int Create = 0x101;     // 257
constexpr int Open = 0x102;       // 258
constexpr int Read = 0x104;       // 260
constexpr int Write = 0x105;      // 261
constexpr int ResetAttr = 0x106;  // 262
constexpr int LowDisk = 0x107;    // 263
constexpr int GzTrailer = 0x109;  // 265
constexpr int Encrypt = 0x10A;    // 266
constexpr int Decrypt = 0x10B;    // 267
constexpr int Verify = 0x10C;     // 268
constexpr int NotFound = 0x10E;   // 270
constexpr int TimeOut = 0x111;    // 273
constexpr int SizeDiff = 0x115;   // 277
constexpr int OpenVerify = 0x116; // 278
constexpr int Content = 0x11E;    // 286
constexpr int Rename = 0x123;     // 291
constexpr int WarnAttr = 0x206;
constexpr int WarnTime = 0x20F;
constexpr int WarnSummary = 0x210;
constexpr int WarnAcl = 0x213;
constexpr int WarnStreams = 0x225;
constexpr int CopyOpen = 0x302;    // 770
constexpr int CopyRead = 0x304;    // 772
constexpr int CopyMissing = 0x30E; // 782
} // namespace EngineError
