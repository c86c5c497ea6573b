#include "platform/LineConnection.h"

#include <chrono>
#include <fcntl.h>
#include <unistd.h>

#include "rtl/DateTime.h"

namespace {

long long NowMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// Printable form of a protocol line: control characters become "?".
std::string Printable(const std::string& text)
{
    std::string s = text;
    for (char& c : s) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            c = '?';
    }
    return s;
}

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

} // namespace

// --- TProtocolLog

void TProtocolLog::SetFileName(const std::string& fileName)
{
    std::lock_guard<std::mutex> guard(FLock);
    FFileName = fileName;
}

std::string TProtocolLog::FileName() const
{
    std::lock_guard<std::mutex> guard(FLock);
    return FFileName;
}

void TProtocolLog::SetActive(bool active)
{
    std::lock_guard<std::mutex> guard(FLock);
    FActive = active;
}

bool TProtocolLog::Active() const
{
    std::lock_guard<std::mutex> guard(FLock);
    return FActive;
}

void TProtocolLog::Status(const std::string& text)
{
    Write("Stat", text);
}

void TProtocolLog::Sent(const std::string& text)
{
    Write("Sent", text);
}

void TProtocolLog::Received(const std::string& text)
{
    Write("Recv", text);
}

void TProtocolLog::Error(const std::string& text)
{
    Write("Error", text);
}

void TProtocolLog::AddSecret(const std::string& secret)
{
    if (secret.empty())
        return;
    std::lock_guard<std::mutex> guard(FLock);
    for (const auto& s : FSecrets)
        if (s == secret)
            return;
    FSecrets.push_back(secret);
}

void TProtocolLog::Write(const char* kind, const std::string& text)
{
    std::lock_guard<std::mutex> guard(FLock);
    if (!FActive || FFileName.empty())
        return;
    std::string line = Printable(text);
    for (const auto& secret : FSecrets) {
        for (size_t p = line.find(secret); p != std::string::npos; p = line.find(secret, p + 3))
            line.replace(p, secret.size(), "***");
    }
    line = FormatDateTime("yyyy-mm-dd hh:nn:ss.zzz", Now()) + " " + kind + ": " + line + "\n";
    int fd = ::open(FFileName.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0)
        return; // the log is a debugging aid; a missing folder must not break the transfer
    size_t done = 0;
    while (done < line.size()) {
        ssize_t n = ::write(fd, line.data() + done, line.size() - done);
        if (n <= 0)
            break;
        done += static_cast<size_t>(n);
    }
    ::close(fd);
}

// --- TLineReply

std::string TLineReply::CodeAndText() const
{
    return std::to_string(Code) + " " + Text();
}

// --- TLineConnection

void TLineConnection::Connect(const std::string& host, int port, int family, int timeoutMs)
{
    FBuffer.clear();
    FReply = TLineReply();
    FLog.Status("Connecting to " + host + ":" + std::to_string(port) + ".");
    FSocket.Connect(host, port, family, timeoutMs);
    FLog.Status("Connected.");
}

void TLineConnection::StartTls(TTlsContext& ctx, const std::string& serverName, int timeoutMs)
{
    // Bytes the server sent before the handshake would be misread as TLS records; none are expected.
    FBuffer.clear();
    FSocket.StartTls(ctx, serverName, nullptr, timeoutMs);
    FLog.Status("TLS negotiated.");
}

void TLineConnection::Disconnect()
{
    if (FSocket.IsOpen()) {
        FSocket.Close();
        FLog.Status("Disconnected.");
    }
    FBuffer.clear();
}

bool TLineConnection::Connected() const
{
    return FSocket.IsOpen() && (!FBuffer.empty() || !FSocket.PeerGone());
}

void TLineConnection::SendLine(const std::string& line, const std::string& logText)
{
    // A line end inside a command would smuggle a second command to the server.
    std::string clean = line;
    for (char& c : clean)
        if (c == '\r' || c == '\n')
            c = ' ';
    FLog.Sent(logText.empty() ? clean : logText);
    clean += "\r\n";
    FSocket.WriteAll(clean.data(), clean.size(), ReadTimeout);
}

std::string TLineConnection::ReadLine(long long deadlineMs)
{
    size_t scanned = 0;
    for (;;) {
        size_t eol = FBuffer.find('\n', scanned);
        if (eol != std::string::npos) {
            if (eol > MaxLineLength)
                throw ENetError(nekProtocol, "Reply line too long.");
            std::string line = FBuffer.substr(0, eol);
            FBuffer.erase(0, eol + 1);
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            return line;
        }
        scanned = FBuffer.size();
        if (FBuffer.size() > MaxLineLength)
            throw ENetError(nekProtocol, "Reply line too long.");
        long long left = deadlineMs - NowMs();
        if (left <= 0)
            throw ENetError(nekTimeout, "Read timed out.");
        char buf[4096];
        size_t n = FSocket.ReadSome(buf, sizeof buf, static_cast<int>(left));
        if (n == 0)
            throw ENetError(nekClosed, "Connection Closed Gracefully.");
        FBuffer.append(buf, n);
    }
}

const TLineReply& TLineConnection::ReadReply()
{
    long long deadline = NowMs() + ReadTimeout;
    TLineReply reply;
    std::string line = ReadLine(deadline);
    FLog.Received(line);
    if (line.size() < 3 || !IsDigit(line[0]) || !IsDigit(line[1]) || !IsDigit(line[2]) ||
        (line.size() > 3 && line[3] != ' ' && line[3] != '-')) {
        FReply = TLineReply();
        throw ENetError(nekProtocol, "Invalid reply from the server: " + Printable(line.substr(0, 80)));
    }
    std::string code = line.substr(0, 3);
    reply.Code = std::stoi(code);
    reply.Lines.push_back(line.size() > 4 ? line.substr(4) : std::string());
    if (line.size() > 3 && line[3] == '-') {
        for (;;) {
            if (reply.Lines.size() >= MaxReplyLines)
                throw ENetError(nekProtocol, "Reply has too many lines.");
            line = ReadLine(deadline);
            FLog.Received(line);
            if (line.compare(0, 3, code) == 0 && (line.size() == 3 || line[3] == ' ')) {
                reply.Lines.push_back(line.size() > 4 ? line.substr(4) : std::string());
                break;
            }
            if (line.compare(0, 3, code) == 0 && line.size() > 3 && line[3] == '-')
                reply.Lines.push_back(line.substr(4));
            else
                reply.Lines.push_back(line);
        }
    }
    FReply = std::move(reply);
    return FReply;
}

const TLineReply& TLineConnection::Command(const std::string& line, const std::string& logText)
{
    SendLine(line, logText);
    return ReadReply();
}
