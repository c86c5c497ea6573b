#include "archive/MailMessage.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>

#include <openssl/evp.h>
#include <openssl/rand.h>
#include <unistd.h>

#include "foundation/PathUtils.h"
#include "foundation/StringUtils.h"
#include "platform/ErrorCodes.h"
#include "rtl/Gettext.h"
#include "rtl/SysUtils.h"

using utf8::SameText;
using utf8::Trim;

namespace {

constexpr size_t MaxLineLength = 998;  // octets of a line without CR LF
constexpr size_t Base64LineBytes = 57; // 76 characters per line
const char* const CrLf = "\r\n";

std::string ExtractFileName(std::string_view path)
{
    const size_t slash = path.rfind('/');
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

bool IsPrintableAscii(std::string_view s)
{
    return std::all_of(s.begin(), s.end(), [](char c) {
        const auto b = static_cast<unsigned char>(c);
        return b >= 0x20 && b < 0x7F;
    });
}

std::string DropControls(std::string_view s)
{
    std::string out;
    out.reserve(s.size());
    for (char c : s) {
        const auto b = static_cast<unsigned char>(c);
        if (b >= 0x20 && b != 0x7F)
            out += c;
    }
    return out;
}

// An address as it may appear in a header or an SMTP command: no controls, no angle brackets.
std::string CleanAddress(std::string_view s)
{
    std::string out;
    for (char c : DropControls(s))
        if (c != '<' && c != '>')
            out += c;
    return std::string(Trim(out));
}

std::string RandomHex(size_t bytes)
{
    std::string raw(bytes, '\0');
    if (RAND_bytes(reinterpret_cast<unsigned char*>(raw.data()), static_cast<int>(bytes)) != 1) {
        for (auto& c : raw)
            c = static_cast<char>(std::rand());
    }
    static const char* digits = "0123456789abcdef";
    std::string out;
    for (char c : raw) {
        out += digits[(static_cast<unsigned char>(c) >> 4) & 0xF];
        out += digits[static_cast<unsigned char>(c) & 0xF];
    }
    return out;
}

std::string RfcDate(int64_t unixTime)
{
    const time_t t = unixTime != 0 ? static_cast<time_t>(unixTime) : std::time(nullptr);
    struct tm local
    {
    };
    localtime_r(&t, &local);
    static const char* days[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char* months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                   "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    long offset = local.tm_gmtoff / 60;
    const char sign = offset < 0 ? '-' : '+';
    if (offset < 0)
        offset = -offset;
    char buf[64];
    std::snprintf(buf, sizeof buf, "%s, %02d %s %04d %02d:%02d:%02d %c%02ld%02ld", days[local.tm_wday % 7],
                  local.tm_mday, months[local.tm_mon % 12], local.tm_year + 1900, local.tm_hour, local.tm_min,
                  local.tm_sec, sign, offset / 60, offset % 60);
    return buf;
}

std::string HostName()
{
    char buf[256] = {};
    if (gethostname(buf, sizeof buf - 1) != 0 || buf[0] == '\0')
        return "localhost";
    std::string host = CleanAddress(buf);
    host.erase(std::remove_if(host.begin(), host.end(), [](char c) { return c == ' ' || c == '@'; }),
               host.end());
    return host.empty() ? "localhost" : host;
}

// A header line, folded at blanks when it is long. Values that already hold folds are written as they are.
void WriteHeader(std::ostream& out, std::string_view name, const std::string& value)
{
    std::string line = std::string(name) + ": ";
    if (value.find("\r\n") != std::string::npos || line.size() + value.size() <= 78) {
        out << line << value << CrLf;
        return;
    }
    size_t lineLen = line.size();
    size_t pos = 0;
    while (pos < value.size()) {
        size_t next = value.find(' ', pos + 1);
        if (next == std::string::npos)
            next = value.size();
        const std::string_view word(value.data() + pos, next - pos);
        if (lineLen + word.size() > 78 && lineLen > name.size() + 2 && word.front() == ' ') {
            line += CrLf;
            lineLen = 0;
        }
        line += word;
        lineLen += word.size();
        pos = next;
    }
    out << line << CrLf;
}

bool IsAddressHeader(std::string_view name)
{
    for (const char* n : {"From", "To", "Cc", "Bcc", "Reply-To", "Sender"})
        if (SameText(name, n))
            return true;
    return false;
}

std::string AddressListText(const TEmailAddressList& list)
{
    std::string out;
    for (const auto& item : list.Items()) {
        if (item.Address.empty())
            continue;
        if (!out.empty())
            out += ", ";
        out += item.HeaderText();
    }
    return out;
}

std::string ParamValue(std::string_view key, std::string_view value)
{
    if (IsPrintableAscii(value)) {
        std::string quoted;
        for (char c : value) {
            if (c == '"' || c == '\\')
                quoted += '\\';
            quoted += c;
        }
        return std::string(key) + "=\"" + quoted + "\"";
    }
    // RFC 2231: key*=utf-8''percent-encoded
    std::string enc = std::string(key) + "*=utf-8''";
    static const char* digits = "0123456789ABCDEF";
    for (char c : DropControls(value)) {
        const auto b = static_cast<unsigned char>(c);
        if ((b >= '0' && b <= '9') || (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z') || b == '-' ||
            b == '.' || b == '_' || b == '~') {
            enc += c;
        } else {
            enc += '%';
            enc += digits[b >> 4];
            enc += digits[b & 0xF];
        }
    }
    return enc;
}

// The body lines as text with CR LF line ends; embedded line breaks of any kind start new lines.
std::string TextOfLines(const std::vector<std::string>& lines, bool latin1)
{
    std::string text;
    for (const auto& line : lines) {
        std::string l = latin1 ? Utf8ToLatin1(line) : line;
        for (size_t i = 0; i < l.size(); ++i) {
            if (l[i] == '\r') {
                text += CrLf;
                if (i + 1 < l.size() && l[i + 1] == '\n')
                    ++i;
            } else if (l[i] == '\n') {
                text += CrLf;
            } else {
                text += l[i];
            }
        }
        text += CrLf;
    }
    return text;
}

// True when text (with CR LF line ends) can go as "8bit": no NUL and no line longer than the limit.
bool FitsEightBit(std::string_view text)
{
    size_t lineLen = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\0')
            return false;
        if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            lineLen = 0;
            ++i;
            continue;
        }
        if (++lineLen > MaxLineLength)
            return false;
    }
    return true;
}

void WriteBase64Lines(std::ostream& out, std::string_view data)
{
    for (size_t pos = 0; pos < data.size(); pos += Base64LineBytes)
        out << Base64Encode(data.substr(pos, Base64LineBytes)) << CrLf;
}

void WriteTextPart(std::ostream& out, const std::string& contentType, const std::string& text)
{
    const bool eightBit = FitsEightBit(text);
    out << "Content-Type: " << contentType << CrLf;
    out << "Content-Transfer-Encoding: " << (eightBit ? "8bit" : "base64") << CrLf << CrLf;
    if (eightBit)
        out << text;
    else
        WriteBase64Lines(out, text);
}

struct TAttachmentSpec
{
    std::string Path;
    std::string ContentType;
    bool MayBeEightBit = false;
};

TAttachmentSpec ParseAttachment(const std::string& entry)
{
    TAttachmentSpec spec;
    const size_t bar = entry.find('|');
    spec.Path = entry.substr(0, bar);
    const std::string type =
        bar == std::string::npos ? std::string() : std::string(Trim(entry.substr(bar + 1)));
    if (type.empty())
        spec.ContentType = ContentTypeOfFile(spec.Path);
    else if (type.find('/') != std::string::npos)
        spec.ContentType = DropControls(type);
    else
        spec.ContentType = "application/" + DropControls(type);
    spec.MayBeEightBit =
        (type.empty() || type.find('/') != std::string::npos) &&
        SameText(spec.ContentType.substr(0, std::min<size_t>(10, spec.ContentType.size())), "text/plain");
    return spec;
}

[[noreturn]] void RaiseOpenError(const std::string& path)
{
    const uint32_t code = LastWinError();
    throw EInOutError(SafeFormat(_("Cannot open file \"%s\". %s"), {path, SystemErrorText(code)}),
                      static_cast<int>(code));
}

void WriteAttachment(std::ostream& out, const TAttachmentSpec& spec)
{
    std::ifstream in(spec.Path, std::ios::binary);
    if (!in)
        RaiseOpenError(spec.Path);
    const std::string name = DropControls(ExtractFileName(spec.Path));

    // Text attachments go as 8bit with CR LF line ends when every line fits; everything else as base64.
    bool eightBit = false;
    if (spec.MayBeEightBit) {
        eightBit = true;
        size_t lineLen = 0;
        char buf[65536];
        while (eightBit && in) {
            in.read(buf, sizeof buf);
            for (std::streamsize i = 0; i < in.gcount() && eightBit; ++i) {
                if (buf[i] == '\0')
                    eightBit = false;
                else if (buf[i] == '\n' || buf[i] == '\r')
                    lineLen = 0;
                else if (++lineLen > MaxLineLength)
                    eightBit = false;
            }
        }
        if (in.bad())
            RaiseOpenError(spec.Path);
        in.clear();
        in.seekg(0);
    }

    out << "Content-Type: " << spec.ContentType << "; " << ParamValue("name", name) << CrLf;
    out << "Content-Transfer-Encoding: " << (eightBit ? "8bit" : "base64") << CrLf;
    out << "Content-Disposition: attachment; " << ParamValue("filename", name) << CrLf << CrLf;
    if (eightBit) {
        char buf[65536];
        bool lastCr = false;
        bool atLineStart = true;
        std::string chunk;
        while (in) {
            in.read(buf, sizeof buf);
            chunk.clear();
            for (std::streamsize i = 0; i < in.gcount(); ++i) {
                const char c = buf[i];
                if (c == '\n') {
                    if (!lastCr)
                        chunk += CrLf;
                    lastCr = false;
                    atLineStart = true;
                } else if (c == '\r') {
                    chunk += CrLf;
                    lastCr = true;
                    atLineStart = true;
                } else {
                    chunk += c;
                    lastCr = false;
                    atLineStart = false;
                }
            }
            out << chunk;
        }
        if (!atLineStart)
            out << CrLf;
    } else {
        char buf[Base64LineBytes * 1024];
        while (in) {
            in.read(buf, sizeof buf);
            WriteBase64Lines(out, std::string_view(buf, static_cast<size_t>(in.gcount())));
        }
    }
    if (in.bad())
        RaiseOpenError(spec.Path);
}

void WriteBodyPart(std::ostream& out, const TMailContent& c)
{
    switch (c.ContentType) {
    case ctUtf8:
        WriteTextPart(out, "text/plain; charset=utf-8", TextOfLines(c.Body, false));
        break;
    case ctHtml:
        if (!c.Body.empty()) {
            const std::string boundary = "=_alt_" + RandomHex(12);
            out << "Content-Type: multipart/alternative; boundary=\"" << boundary << "\"" << CrLf << CrLf;
            out << "--" << boundary << CrLf;
            WriteTextPart(out, "text/plain; charset=iso-8859-1", TextOfLines(c.Body, true));
            out << CrLf << "--" << boundary << CrLf;
            WriteTextPart(out, "text/html; charset=iso-8859-1", TextOfLines(c.HTMLBody, true));
            out << CrLf << "--" << boundary << "--" << CrLf;
        } else {
            WriteTextPart(out, "text/html; charset=iso-8859-1", TextOfLines(c.HTMLBody, true));
        }
        break;
    default:
        WriteTextPart(out, "text/plain; charset=iso-8859-1", TextOfLines(c.Body, true));
        break;
    }
}

} // namespace

void TEmailAddressItem::SetText(std::string_view text)
{
    std::string t(Trim(DropControls(text)));
    const size_t lt = t.rfind('<');
    if (lt != std::string::npos && !t.empty() && t.back() == '>') {
        Address = CleanAddress(t.substr(lt + 1, t.size() - lt - 2));
        std::string name(Trim(t.substr(0, lt)));
        if (name.size() >= 2 && name.front() == '"' && name.back() == '"') {
            std::string unq;
            for (size_t i = 1; i + 1 < name.size(); ++i) {
                if (name[i] == '\\' && i + 2 < name.size())
                    ++i;
                unq += name[i];
            }
            name = unq;
        }
        Name = name;
    } else {
        Name.clear();
        Address = CleanAddress(t);
    }
}

std::string TEmailAddressItem::HeaderText() const
{
    const std::string addr = CleanAddress(Address);
    if (Trim(Name).empty())
        return addr;
    return EncodeDisplayName(Name) + " <" + addr + ">";
}

void TEmailAddressList::SetEMailAddresses(std::string_view text)
{
    FItems.clear();
    std::string item;
    bool inQuote = false;
    bool inAngle = false;
    auto flush = [&]() {
        if (!Trim(item).empty()) {
            TEmailAddressItem a;
            a.SetText(item);
            if (!a.Address.empty())
                FItems.push_back(a);
        }
        item.clear();
    };
    for (char c : text) {
        if (c == '"' && !inAngle)
            inQuote = !inQuote;
        else if (c == '<' && !inQuote)
            inAngle = true;
        else if (c == '>' && !inQuote)
            inAngle = false;
        if ((c == ',' || c == ';') && !inQuote && !inAngle)
            flush();
        else
            item += c;
    }
    flush();
}

std::string TEmailAddressList::EMailAddresses() const
{
    std::string out;
    for (const auto& item : FItems) {
        if (!out.empty())
            out += ", ";
        out += item.HeaderText();
    }
    return out;
}

std::string Base64Encode(std::string_view data)
{
    std::string out(4 * ((data.size() + 2) / 3) + 1, '\0');
    const int n =
        EVP_EncodeBlock(reinterpret_cast<unsigned char*>(out.data()),
                        reinterpret_cast<const unsigned char*>(data.data()), static_cast<int>(data.size()));
    out.resize(static_cast<size_t>(std::max(n, 0)));
    return out;
}

bool Base64Decode(std::string_view text, std::string& data)
{
    std::string clean;
    for (char c : text)
        if (c != ' ' && c != '\t' && c != '\r' && c != '\n')
            clean += c;
    data.clear();
    if (clean.empty())
        return true;
    if (clean.size() % 4 != 0)
        return false;
    std::string out(clean.size() / 4 * 3 + 1, '\0');
    const int n =
        EVP_DecodeBlock(reinterpret_cast<unsigned char*>(out.data()),
                        reinterpret_cast<const unsigned char*>(clean.data()), static_cast<int>(clean.size()));
    if (n < 0)
        return false;
    size_t len = static_cast<size_t>(n);
    if (clean.back() == '=')
        --len;
    if (clean.size() >= 2 && clean[clean.size() - 2] == '=')
        --len;
    out.resize(len);
    data = out;
    return true;
}

std::string Utf8ToLatin1(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        char32_t cp = 0;
        const size_t len = utf8::Decode(text, i, cp);
        i += len == 0 ? 1 : len;
        out += cp < 0x100 ? static_cast<char>(cp) : '?';
    }
    return out;
}

std::string EncodeHeaderText(std::string_view text)
{
    const std::string clean = DropControls(text);
    if (IsPrintableAscii(clean)) {
        // A word too long for a header line goes encoded, so that the line can be folded.
        size_t longest = 0, run = 0;
        for (char c : clean) {
            run = c == ' ' ? 0 : run + 1;
            longest = std::max(longest, run);
        }
        if (longest < 900)
            return clean;
    }
    constexpr size_t ChunkBytes = 45; // 60 base64 characters + 12 = 72 per encoded word
    std::string out;
    size_t start = 0;
    while (start < clean.size()) {
        size_t end = start;
        while (end < clean.size()) {
            char32_t cp = 0;
            size_t len = utf8::Decode(clean, end, cp);
            if (len == 0)
                len = 1;
            if (end + len - start > ChunkBytes && end > start)
                break;
            end += len;
        }
        if (!out.empty())
            out += "\r\n ";
        out += "=?utf-8?B?" + Base64Encode(std::string_view(clean).substr(start, end - start)) + "?=";
        start = end;
    }
    return out;
}

std::string EncodeDisplayName(std::string_view name)
{
    const std::string clean(Trim(DropControls(name)));
    if (!IsPrintableAscii(clean))
        return EncodeHeaderText(clean);
    static const std::string_view atext = "!#$%&'*+-/=?^_`{|}~ ";
    const bool plain = std::all_of(clean.begin(), clean.end(), [](char c) {
        return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
               atext.find(c) != std::string_view::npos;
    });
    if (plain)
        return clean;
    std::string quoted = "\"";
    for (char c : clean) {
        if (c == '"' || c == '\\')
            quoted += '\\';
        quoted += c;
    }
    return quoted + "\"";
}

std::string ContentTypeOfFile(std::string_view fileName)
{
    static const std::pair<const char*, const char*> types[] = {
        {"txt", "text/plain"},      {"log", "text/plain"},        {"csv", "text/csv"},
        {"htm", "text/html"},       {"html", "text/html"},        {"xml", "text/xml"},
        {"ini", "text/plain"},      {"zip", "application/zip"},   {"gz", "application/gzip"},
        {"pdf", "application/pdf"}, {"json", "application/json"}, {"7z", "application/x-7z-compressed"},
        {"png", "image/png"},       {"gif", "image/gif"},         {"jpg", "image/jpeg"},
        {"jpeg", "image/jpeg"},     {"bmp", "image/bmp"},         {"svg", "image/svg+xml"},
        {"rtf", "application/rtf"}, {"eml", "message/rfc822"}};
    std::string ext = ExtractExtension(ExtractFileName(fileName));
    if (!ext.empty() && ext.front() == '.')
        ext.erase(0, 1);
    for (const auto& [e, t] : types)
        if (SameText(ext, e))
            return t;
    return "application/octet-stream";
}

void RenderMailMessage(const TMailContent& c, std::ostream& out)
{
    WriteHeader(out, "From", c.From.HeaderText());
    const std::string to = AddressListText(c.Recipients);
    if (!to.empty())
        WriteHeader(out, "To", to);
    const std::string cc = AddressListText(c.CCList);
    if (!cc.empty())
        WriteHeader(out, "Cc", cc);
    WriteHeader(out, "Subject", EncodeHeaderText(c.Subject));
    WriteHeader(out, "Date", RfcDate(c.DateTime));
    WriteHeader(out, "Message-ID",
                "<" + RandomHex(16) + "@" + (c.MessageIdHost.empty() ? HostName() : c.MessageIdHost) + ">");
    static const char* priorities[] = {"1 (Highest)", "2 (High)", "", "4 (Low)", "5 (Lowest)"};
    if (c.Priority != mpNormal && c.Priority >= mpHighest && c.Priority <= mpLowest)
        WriteHeader(out, "X-Priority", priorities[c.Priority]);
    for (const auto& [rawName, value] : c.ExtraHeaders) {
        std::string name;
        for (char ch : rawName)
            if (static_cast<unsigned char>(ch) > 0x20 && static_cast<unsigned char>(ch) < 0x7F && ch != ':')
                name += ch;
        if (name.empty() || Trim(value).empty())
            continue;
        if (IsAddressHeader(name)) {
            TEmailAddressList list;
            list.SetEMailAddresses(value);
            WriteHeader(out, name, AddressListText(list));
        } else {
            WriteHeader(out, name, EncodeHeaderText(value));
        }
    }
    out << "MIME-Version: 1.0" << CrLf;

    std::vector<TAttachmentSpec> attachments;
    for (const auto& entry : c.Attachments)
        if (!Trim(entry).empty())
            attachments.push_back(ParseAttachment(entry));

    if (attachments.empty()) {
        WriteBodyPart(out, c);
    } else {
        const std::string boundary = "=_mix_" + RandomHex(12);
        out << "Content-Type: multipart/mixed; boundary=\"" << boundary << "\"" << CrLf << CrLf;
        out << "This is a multi-part message in MIME format." << CrLf;
        out << CrLf << "--" << boundary << CrLf;
        WriteBodyPart(out, c);
        for (const auto& spec : attachments) {
            out << CrLf << "--" << boundary << CrLf;
            WriteAttachment(out, spec);
        }
        out << CrLf << "--" << boundary << "--" << CrLf;
    }
    out.flush();
    if (!out)
        throw EWriteError(_("Error writing the mail message"));
}
