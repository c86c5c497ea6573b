#pragma once
// The MIME message of the mail sender: address items and lists, header encoding (RFC 2047 encoded words
// for non-ASCII text), and the rendering of a message with its text parts and file attachments as the
// bytes that go over SMTP (CR LF line ends, no dot-stuffing).

#include <cstdint>
#include <ostream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// How the body is sent: plain text in ISO-8859-1, HTML (with the plain body as its alternative when there
// is one), plain text in UTF-8.
enum TContentType : int
{
    ctAscii,
    ctHtml,
    ctUtf8
};

enum TMessagePriority : int
{
    mpHighest,
    mpHigh,
    mpNormal,
    mpLow,
    mpLowest
};

// One mailbox: display name and address.
struct TEmailAddressItem
{
    std::string Name;
    std::string Address;

    // Parses ‹Name <addr>›, ‹"Name" <addr>›, ‹<addr>› or ‹addr›.
    void SetText(std::string_view text);
    // The mailbox as a header writes it (display name encoded or quoted as needed).
    std::string HeaderText() const;
};

// A list of mailboxes, set from and read as comma text.
class TEmailAddressList
{
public:
    // Items separated by "," or ";" outside double quotes and angle brackets; empty items are skipped.
    void SetEMailAddresses(std::string_view text);
    // The addresses joined with ", ".
    std::string EMailAddresses() const;
    void Clear() { FItems.clear(); }
    void Add(const TEmailAddressItem& item) { FItems.push_back(item); }
    int Count() const { return static_cast<int>(FItems.size()); }
    const TEmailAddressItem& operator[](int index) const { return FItems.at(static_cast<size_t>(index)); }
    const std::vector<TEmailAddressItem>& Items() const { return FItems; }

private:
    std::vector<TEmailAddressItem> FItems;
};

// Header value helpers.
// text unchanged when it is printable ASCII, else as UTF-8 "B" encoded words (each at most 75 characters,
// never splitting a character) separated by CR LF and a blank. Control characters are dropped.
std::string EncodeHeaderText(std::string_view text);
// A display name as a header needs it: an atom, a quoted string or encoded words.
std::string EncodeDisplayName(std::string_view name);
// Base64 of data, without line breaks.
std::string Base64Encode(std::string_view data);
// false when text is not valid base64 (white space is ignored).
bool Base64Decode(std::string_view text, std::string& data);
// UTF-8 text in ISO-8859-1; characters outside it become "?".
std::string Utf8ToLatin1(std::string_view text);
// The content type derived from a file name's extension ("application/octet-stream" when unknown).
std::string ContentTypeOfFile(std::string_view fileName);

// Everything a message is built from.
struct TMailContent
{
    TEmailAddressItem From;
    TEmailAddressList Recipients, CCList, BCCList;
    std::string Subject;
    TMessagePriority Priority = mpNormal;
    TContentType ContentType = ctAscii;
    std::vector<std::string> Body, HTMLBody;
    // File path, optionally followed by "|" and a MIME type or a subtype of "application".
    std::vector<std::string> Attachments;
    // Name and value; a later header of the same name replaces the earlier one.
    std::vector<std::pair<std::string, std::string>> ExtraHeaders;
    // Date header in seconds since 1970 (0: now) and the host part of the Message-ID (empty: this host).
    int64_t DateTime = 0;
    std::string MessageIdHost;
};

// Writes the message to out. Raises EInOutError when an attachment cannot be read and EWriteError when
// out fails.
void RenderMailMessage(const TMailContent& content, std::ostream& out);
