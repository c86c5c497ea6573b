#pragma once
// Exceptions and the Pascal-style Format of the texts.

#include <cstdint>
#include <exception>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

class Exception : public std::exception
{
public:
    explicit Exception(std::string msg) : FMessage(std::move(msg)) {}
    const std::string& Message() const noexcept { return FMessage; }
    void SetMessage(std::string msg) { FMessage = std::move(msg); }
    const char* what() const noexcept override { return FMessage.c_str(); }

private:
    std::string FMessage;
};

class EAbort : public Exception
{
public:
    using Exception::Exception;
};

class EConvertError : public Exception
{
public:
    using Exception::Exception;
};

class EArgumentError : public Exception
{
public:
    using Exception::Exception;
};

// An input/output failure that carries the system error code (the Windows-style code of the
// platform layer).
class EInOutError : public Exception
{
public:
    EInOutError(std::string msg, int errorCode) : Exception(std::move(msg)), ErrorCode(errorCode) {}
    int ErrorCode;
};

class EOSError : public Exception
{
public:
    EOSError(std::string msg, uint32_t errorCode) : Exception(std::move(msg)), ErrorCode(errorCode) {}
    uint32_t ErrorCode;
};

class EStreamError : public Exception
{
public:
    using Exception::Exception;
};

class EReadError : public EStreamError
{
public:
    using EStreamError::EStreamError;
};

class EWriteError : public EStreamError
{
public:
    using EStreamError::EStreamError;
};

// One argument of Format: an integer, a float, a string, a character or a pointer.
class TVarRec
{
public:
    enum class Kind
    {
        Int,
        UInt,
        Float,
        String,
        Char,
        Pointer
    };

    TVarRec(int v) : FKind(Kind::Int), FInt(v) {}
    TVarRec(long v) : FKind(Kind::Int), FInt(v) {}
    TVarRec(long long v) : FKind(Kind::Int), FInt(v) {}
    TVarRec(unsigned v) : FKind(Kind::UInt), FUInt(v) {}
    TVarRec(unsigned long v) : FKind(Kind::UInt), FUInt(v) {}
    TVarRec(unsigned long long v) : FKind(Kind::UInt), FUInt(v) {}
    TVarRec(short v) : FKind(Kind::Int), FInt(v) {}
    TVarRec(unsigned short v) : FKind(Kind::UInt), FUInt(v) {}
    TVarRec(bool v) : FKind(Kind::Int), FInt(v ? 1 : 0) {}
    TVarRec(double v) : FKind(Kind::Float), FFloat(v) {}
    TVarRec(float v) : FKind(Kind::Float), FFloat(v) {}
    TVarRec(char v) : FKind(Kind::Char), FString(1, v) {}
    TVarRec(const char* v) : FKind(Kind::String), FString(v ? v : "") {}
    TVarRec(std::string v) : FKind(Kind::String), FString(std::move(v)) {}
    TVarRec(std::string_view v) : FKind(Kind::String), FString(v) {}
    TVarRec(const void* v) : FKind(Kind::Pointer), FPointer(v) {}

    Kind GetKind() const { return FKind; }
    bool IsInteger() const { return FKind == Kind::Int || FKind == Kind::UInt; }
    int64_t AsInt() const { return FKind == Kind::UInt ? static_cast<int64_t>(FUInt) : FInt; }
    uint64_t AsUInt() const { return FKind == Kind::Int ? static_cast<uint64_t>(FInt) : FUInt; }
    double AsFloat() const { return FFloat; }
    const std::string& AsString() const { return FString; }
    const void* AsPointer() const { return FPointer; }

private:
    Kind FKind;
    int64_t FInt = 0;
    uint64_t FUInt = 0;
    double FFloat = 0;
    std::string FString;
    const void* FPointer = nullptr;
};

using TFormatArgs = std::initializer_list<TVarRec>;

// Pascal Format: "%" ["index:"] ["-"] [width] ["." precision] type, with the types d u e f g n m p s x
// and "*" taking width or precision from the arguments. Raises EConvertError on a mismatch.
std::string Format(std::string_view fmt, TFormatArgs args = {});
std::string Format(std::string_view fmt, const std::vector<TVarRec>& args);

// Format that never raises: on any mismatch the result is "Format error: " followed by the pattern.
std::string SafeFormat(std::string_view fmt, TFormatArgs args = {}) noexcept;
std::string SafeFormat(std::string_view fmt, const std::vector<TVarRec>& args) noexcept;

// Formats a float with "ffFixed"/"ffNumber" rules: Digits decimals, thousands separators for Number.
std::string FormatFloatFixed(double value, int digits, bool thousands);
