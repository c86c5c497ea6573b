#include "archive/FtpClient.h"

#include <algorithm>
#include <cctype>

namespace {

constexpr size_t TransferChunk = 65536;
constexpr size_t MaxListingBytes = 512u * 1024 * 1024;

std::string Trim(const std::string& s)
{
    size_t b = s.find_first_not_of(" \t\r\n");
    if (b == std::string::npos)
        return "";
    size_t e = s.find_last_not_of(" \t\r\n");
    return s.substr(b, e - b + 1);
}

std::string Upper(std::string s)
{
    for (char& c : s)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

bool InCodes(int code, std::initializer_list<int> codes)
{
    if (codes.size() == 0)
        return true;
    return std::find(codes.begin(), codes.end(), code) != codes.end();
}

// Length of a valid UTF-8 sequence at s[i], 0 when the byte does not start one.
size_t Utf8Length(const std::string& s, size_t i, char32_t& cp)
{
    unsigned char c = static_cast<unsigned char>(s[i]);
    size_t len;
    if (c < 0x80) {
        cp = c;
        return 1;
    }
    if ((c & 0xE0) == 0xC0) {
        len = 2;
        cp = c & 0x1F;
    } else if ((c & 0xF0) == 0xE0) {
        len = 3;
        cp = c & 0x0F;
    } else if ((c & 0xF8) == 0xF0) {
        len = 4;
        cp = c & 0x07;
    } else
        return 0;
    if (i + len > s.size())
        return 0;
    for (size_t k = 1; k < len; ++k) {
        unsigned char d = static_cast<unsigned char>(s[i + k]);
        if ((d & 0xC0) != 0x80)
            return 0;
        cp = (cp << 6) | (d & 0x3F);
    }
    return len;
}

// The quoted item at the start of text ("…" with "" for one quote), or empty.
std::string QuotedPath(const std::string& text)
{
    size_t q = text.find('"');
    if (q == std::string::npos)
        return "";
    std::string result;
    for (size_t i = q + 1; i < text.size(); ++i) {
        if (text[i] == '"') {
            if (i + 1 < text.size() && text[i + 1] == '"') {
                result += '"';
                ++i;
                continue;
            }
            return result;
        }
        result += text[i];
    }
    return result;
}

} // namespace

bool StartsTextIgnoreCase(const std::string& text, const std::string& prefix)
{
    if (prefix.size() > text.size())
        return false;
    for (size_t i = 0; i < prefix.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(text[i])) !=
            std::tolower(static_cast<unsigned char>(prefix[i])))
            return false;
    return true;
}

TFtpClient::TFtpClient() = default;

TFtpClient::~TFtpClient() = default;

std::string TFtpClient::EncodeName(const std::string& utf8) const
{
    if (FEncoding == feUtf8)
        return utf8;
    std::string out;
    for (size_t i = 0; i < utf8.size();) {
        char32_t cp;
        size_t len = Utf8Length(utf8, i, cp);
        if (len == 0) { // not UTF-8: a byte name passes through unchanged
            out += utf8[i++];
            continue;
        }
        if (cp < 0x80 || (FEncoding == fe8Bit && cp < 0x100))
            out += static_cast<char>(cp);
        else
            out += '?';
        i += len;
    }
    return out;
}

std::string TFtpClient::DecodeName(const std::string& wire) const
{
    if (FEncoding == feUtf8)
        return wire;
    std::string out;
    for (unsigned char c : wire) {
        if (c < 0x80)
            out += static_cast<char>(c);
        else if (FEncoding == feASCII)
            out += '?';
        else {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

bool TFtpClient::IsExtSupported(const std::string& feature) const
{
    std::string f = Upper(feature);
    for (const std::string& cap : FCapabilities) {
        std::string c = Upper(cap);
        if (c == f || c.rfind(f + " ", 0) == 0)
            return true;
    }
    return false;
}

void TFtpClient::CheckClosing(const TLineReply& reply)
{
    if (reply.Code == 421) {
        FConn.Disconnect();
        throw ENetError(nekClosed, reply.CodeAndText());
    }
}

const TLineReply& TFtpClient::SendCmd(const std::string& line, std::initializer_list<int> okCodes,
                                      const std::string& logText)
{
    if (!FConn.Socket().IsOpen())
        throw ENetError(nekClosed, "Not connected.");
    FConn.ReadTimeout = ReadTimeout;
    const TLineReply& reply = FConn.Command(line, logText);
    CheckClosing(reply);
    if (!InCodes(reply.Code, okCodes))
        throw ENetError(nekReply, reply.CodeAndText(), reply.Code);
    return reply;
}

void TFtpClient::Connect()
{
    FConn.ReadTimeout = ReadTimeout;
    FCapabilities.clear();
    FFeatReceived = false;
    FGreeting.clear();
    FEncoding = fe8Bit;
    FConn.Log().AddSecret(Password);
    FConn.Log().AddSecret(ProxySettings.Password);
    bool viaProxy = ProxySettings.ProxyType != fpcmNone && !ProxySettings.Host.empty();
    const std::string& host = viaProxy ? ProxySettings.Host : Host;
    int port = viaProxy ? ProxySettings.Port : Port;
    try {
        FConn.Connect(host, port, IPVersion == 6 ? 6 : 4, ConnectTimeout);
        if (UseTLS != utNoTLSSupport && !TlsContext)
            throw ENetError(nekTls, "No TLS context.");
        if (UseTLS == utUseImplicitTLS)
            FConn.StartTls(*TlsContext, Host, ConnectTimeout);
        const TLineReply& greeting = FConn.ReadReply();
        CheckClosing(greeting);
        if (greeting.Code != 220)
            throw ENetError(nekReply, greeting.CodeAndText(), greeting.Code);
        FGreeting = greeting.Text();
        if (UseHOST && !viaProxy) {
            const TLineReply& r = SendCmd("HOST " + Host);
            (void)r; // servers without HOST refuse it; that is fine
        }
        if (UseTLS == utUseExplicitTLS || UseTLS == utUseRequireTLS) {
            const TLineReply& r = SendCmd("AUTH TLS");
            if (r.Code == 234)
                FConn.StartTls(*TlsContext, Host, ConnectTimeout);
            else if (UseTLS == utUseRequireTLS)
                throw ENetError(nekTls, "SSL negotiation failed: " + r.CodeAndText());
        }
        Login();
        if (IsSecure()) {
            SendCmd("PBSZ 0");
            SendCmd(DataPortProtectionPrivate ? "PROT P" : "PROT C", {200});
        }
        ReadFeatures();
        DoAfterLogin();
        SendCmd("TYPE I", {200});
    } catch (...) {
        FConn.Disconnect();
        throw;
    }
}

void TFtpClient::Disconnect()
{
    if (FConn.Socket().IsOpen() && FConn.Connected()) {
        try {
            int saved = FConn.ReadTimeout;
            FConn.ReadTimeout = std::min(saved, 2000);
            FConn.Command("QUIT");
            FConn.ReadTimeout = saved;
        } catch (const ENetError&) {
        }
    }
    FConn.Disconnect();
}

void TFtpClient::SendUserPass(const std::string& user, const std::string& pass, bool acctAfter,
                              const std::string& acct)
{
    const TLineReply& r = SendCmd("USER " + user, {230, 331, 332});
    if (r.Code == 331 || r.Code == 332) {
        const TLineReply& p = SendCmd("PASS " + pass, {230, 202, 332}, "PASS ***");
        if (p.Code == 332 || acctAfter)
            SendCmd("ACCT " + acct, {230, 202}, "ACCT ***");
    }
}

void TFtpClient::Login()
{
    if (ProxySettings.ProxyType != fpcmNone && !ProxySettings.Host.empty()) {
        ProxyLogin();
        return;
    }
    SendUserPass(EncodeName(Username), Password);
}

void TFtpClient::ProxyLogin()
{
    const TFtpClientProxy& p = ProxySettings;
    std::string site = Host + (Port != 21 ? ":" + std::to_string(Port) : std::string());
    std::string user = EncodeName(Username);
    auto firewallLogin = [&] {
        if (!p.UserName.empty())
            SendUserPass(p.UserName, p.Password);
    };
    switch (p.ProxyType) {
    case fpcmUserSite:
        firewallLogin();
        SendUserPass(user + "@" + site, Password);
        break;
    case fpcmSite:
        firewallLogin();
        SendCmd("SITE " + site, {220, 200, 230});
        SendUserPass(user, Password);
        break;
    case fpcmOpen:
        firewallLogin();
        SendCmd("OPEN " + site, {220, 200, 230});
        SendUserPass(user, Password);
        break;
    case fpcmUserPass:
        SendUserPass(user + "@" + p.UserName + "@" + site, Password + "@" + p.Password);
        break;
    case fpcmTransparent:
        firewallLogin();
        SendUserPass(user, Password);
        break;
    case fpcmUserHostFireWallID:
        SendUserPass(user + "@" + site + " " + p.UserName, Password, true, p.Password);
        break;
    case fpcmNone:
        SendUserPass(user, Password);
        break;
    }
}

void TFtpClient::ReadFeatures()
{
    const TLineReply& r = SendCmd("FEAT");
    if (r.Code != 211)
        return;
    FFeatReceived = true;
    for (size_t i = 1; i + 1 < r.Lines.size(); ++i) {
        std::string f = Trim(r.Lines[i]);
        if (!f.empty())
            FCapabilities.push_back(f);
    }
}

void TFtpClient::ChangeDir(const std::string& dir)
{
    SendCmd("CWD " + EncodeName(dir), {250, 200});
}

void TFtpClient::ChangeDirUp()
{
    SendCmd("CDUP", {250, 200});
}

std::string TFtpClient::RetrieveCurrentDir()
{
    const TLineReply& r = SendCmd("PWD", {257});
    std::string dir = QuotedPath(r.Text());
    return DecodeName(dir);
}

void TFtpClient::MakeDir(const std::string& dir)
{
    SendCmd("MKD " + EncodeName(dir), {257, 250, 200});
}

void TFtpClient::RemoveDir(const std::string& dir)
{
    SendCmd("RMD " + EncodeName(dir), {250, 200});
}

void TFtpClient::Delete(const std::string& name)
{
    SendCmd("DELE " + EncodeName(name), {250, 200});
}

void TFtpClient::Rename(const std::string& oldName, const std::string& newName)
{
    SendCmd("RNFR " + EncodeName(oldName), {350});
    SendCmd("RNTO " + EncodeName(newName), {250, 200});
}

void TFtpClient::DataCommand(const std::string& cmd, const std::function<void(TNetSocket&)>& transfer)
{
    TNetSocket data;
    bool extended = UseExtensionDataPort || FConn.Socket().IsIPv6();
    std::string peer = FConn.Socket().PeerAddress();
    if (Passive) {
        int port = 0;
        if (extended) {
            const TLineReply& r = SendCmd("EPSV", {229});
            std::string t = r.Text();
            size_t a = t.find("|||");
            size_t b = a == std::string::npos ? a : t.find('|', a + 3);
            if (b == std::string::npos)
                throw ENetError(nekProtocol, "Invalid EPSV reply: " + r.CodeAndText());
            try {
                port = std::stoi(t.substr(a + 3, b - a - 3));
            } catch (const std::exception&) {
                throw ENetError(nekProtocol, "Invalid EPSV reply: " + r.CodeAndText());
            }
        } else {
            const TLineReply& r = SendCmd("PASV", {227});
            std::string t = r.Text();
            size_t open = t.find('(');
            std::string nums = open == std::string::npos ? t : t.substr(open + 1);
            int v[6];
            int count = 0;
            size_t i = 0;
            while (count < 6 && i < nums.size()) {
                while (i < nums.size() && !std::isdigit(static_cast<unsigned char>(nums[i])))
                    ++i;
                if (i >= nums.size())
                    break;
                int n = 0;
                size_t digits = 0;
                while (i < nums.size() && std::isdigit(static_cast<unsigned char>(nums[i])) && digits < 4) {
                    n = n * 10 + (nums[i] - '0');
                    ++i;
                    ++digits;
                }
                v[count++] = n;
            }
            if (count < 6 || v[4] > 255 || v[5] > 255)
                throw ENetError(nekProtocol, "Invalid PASV reply: " + r.CodeAndText());
            port = v[4] * 256 + v[5];
            // The address in the reply is ignored: data goes to the server we talk to (no bounces, no NAT
            // surprises).
        }
        if (port <= 0 || port > 65535)
            throw ENetError(nekProtocol, "Invalid data port " + std::to_string(port));
        data.Connect(peer, port, FConn.Socket().IsIPv6() ? 6 : 4, ConnectTimeout);
    } else {
        data.ListenLike(FConn.Socket());
        std::string local = data.LocalAddress();
        int port = data.LocalPort();
        if (extended)
            SendCmd("EPRT |" + std::string(data.IsIPv6() ? "2" : "1") + "|" + local + "|" +
                        std::to_string(port) + "|",
                    {200});
        else {
            std::string h = local;
            std::replace(h.begin(), h.end(), '.', ',');
            SendCmd("PORT " + h + "," + std::to_string(port / 256) + "," + std::to_string(port % 256), {200});
        }
    }
    const TLineReply& prelim = SendCmd(cmd);
    if (prelim.Code >= 400)
        throw ENetError(nekReply, prelim.CodeAndText(), prelim.Code);
    if (prelim.Code >= 200) {
        // Some servers finish an empty transfer at once.
        return;
    }
    try {
        if (!Passive)
            data.Accept(ListenTimeout);
        if (IsSecure() && DataPortProtectionPrivate)
            data.StartTls(*TlsContext, Host, &FConn.Socket(), ReadTimeout);
        transfer(data);
        data.Close();
    } catch (const ENetError& e) {
        // The state of the control connection is unknown now (a reply may be pending): drop it, so that
        // the caller reconnects instead of reading a stale reply.
        data.Close();
        FConn.Disconnect();
        if (e.Kind() == nekTls || e.Kind() == nekProtocol)
            throw ENetError(nekClosed, e.Message());
        throw;
    } catch (...) {
        data.Close();
        FConn.Disconnect();
        throw;
    }
    FConn.ReadTimeout = ReadTimeout;
    const TLineReply& final = FConn.ReadReply();
    CheckClosing(final);
    if (final.Code == 426)
        throw ENetError(nekClosed, final.CodeAndText(), final.Code);
    if (final.Code >= 400)
        throw ENetError(nekReply, final.CodeAndText(), final.Code);
}

std::vector<TFtpListItem> TFtpClient::List(bool mlsd)
{
    bool useMlsd = mlsd && SupportsMLSD();
    std::string raw;
    DataCommand(useMlsd ? "MLSD" : "LIST", [&](TNetSocket& data) {
        char buf[TransferChunk];
        for (;;) {
            size_t n = data.ReadSome(buf, sizeof buf, ReadTimeout);
            if (n == 0)
                break;
            raw.append(buf, n);
            if (raw.size() > MaxListingBytes)
                throw ENetError(nekProtocol, "Directory listing too large.");
            if (OnWork)
                OnWork(wmRead, static_cast<int64_t>(raw.size()));
        }
    });
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < raw.size()) {
        size_t eol = raw.find('\n', start);
        std::string line = raw.substr(start, eol == std::string::npos ? std::string::npos : eol - start);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (!line.empty())
            lines.push_back(std::move(line));
        if (eol == std::string::npos)
            break;
        start = eol + 1;
    }
    std::vector<TFtpListItem> items = ParseFtpListing(lines, useMlsd, Date());
    for (TFtpListItem& item : items)
        item.Name = DecodeName(item.Name);
    return items;
}

void TFtpClient::Put(TStream& source, const std::string& name, bool append)
{
    if (NATKeepAlive)
        FConn.Socket().SetKeepAlive(true);
    DataCommand((append ? "APPE " : "STOR ") + EncodeName(name), [&](TNetSocket& data) {
        std::vector<char> buf(TransferChunk);
        int64_t total = 0;
        for (;;) {
            int64_t n = source.Read(buf.data(), static_cast<int64_t>(buf.size()));
            if (n <= 0)
                break;
            data.WriteAll(buf.data(), static_cast<size_t>(n), ReadTimeout);
            total += n;
            if (OnWork)
                OnWork(wmWrite, total);
        }
    });
}

void TFtpClient::Get(const std::string& name, TStream& dest)
{
    if (NATKeepAlive)
        FConn.Socket().SetKeepAlive(true);
    DataCommand("RETR " + EncodeName(name), [&](TNetSocket& data) {
        std::vector<char> buf(TransferChunk);
        int64_t total = 0;
        for (;;) {
            size_t n = data.ReadSome(buf.data(), buf.size(), ReadTimeout);
            if (n == 0)
                break;
            dest.WriteBuffer(buf.data(), static_cast<int64_t>(n));
            total += static_cast<int64_t>(n);
            if (OnWork)
                OnWork(wmRead, total);
        }
    });
}

bool TFtpClient::FileDate(const std::string& name, TDateTime& result)
{
    const TLineReply& r = SendCmd("MDTM " + EncodeName(name));
    if (r.Code != 213)
        return false;
    return TryParseFtpTime(Trim(r.Text()), result);
}

void TFtpClient::SetModTimeGMT(const std::string& name, TDateTime utc)
{
    std::string t = FtpTimeText(utc);
    if (IsExtSupported("MFMT"))
        SendCmd("MFMT " + t + " " + EncodeName(name), {213, 200, 250});
    else
        SendCmd("MDTM " + t + " " + EncodeName(name), {213, 200, 250});
}

void TFtpClient::SetModTime(const std::string& name, TDateTime local)
{
    SetModTimeGMT(name, LocalToUtc(local));
}
