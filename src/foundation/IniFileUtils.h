#pragma once
// In-memory ini files: the plain one of the class library and the Unicode one behind the settings and
// task files, plus one-call routines that read or write a single key of a plain ini file.
//
// Reading accepts a UTF-8, UTF-16LE or UTF-16BE byte-order mark; without one the text is UTF-8 when it
// is valid UTF-8, else Windows-1252. Lines may end in CR LF, LF or CR. Lines are trimmed; empty lines,
// lines beginning with ";" and lines before the first section are skipped; names and values are trimmed
// around the first "=". Section and key names compare case-insensitively (ASCII letters). A section
// that appears twice is read as one.
//
// Text bytes that are not valid UTF-8 (file names of other encodings) are stored in UTF-16 files as the
// lone surrogates U+DC80 to U+DCFF and come back as the same bytes.
//
// Files are written as one line per section header and key, an empty line after every section and
// CR LF after every line. A write goes to a temporary file in the same folder that then replaces the
// file (its permission bits are kept; a symbolic link is followed), so a failed write never leaves a
// half-written file. A failed write raises EWriteError "Error writing to "<file>"".

#include <cstdint>
#include <exception>
#include <string>
#include <string_view>
#include <vector>

#include "rtl/StringList.h"
#include "rtl/SysUtils.h"

enum class TIniEncoding
{
    Utf8,       // no byte-order mark (the system code page of this platform)
    Utf8Bom,    // EF BB BF
    Utf16LE,    // FF FE
    Utf16BE,    // FE FF
    Windows1252 // read from a file that was not valid UTF-8; written back the same way
};

class TMemIniFile
{
public:
    // Loads fileName; a missing or unreadable file gives an empty object.
    explicit TMemIniFile(std::string fileName);
    virtual ~TMemIniFile() noexcept(false) = default;
    TMemIniFile(const TMemIniFile&) = delete;
    TMemIniFile& operator=(const TMemIniFile&) = delete;

    const std::string& FileName() const { return FFileName; }
    // The encoding the file is written in: the one it was read in (Utf8 for a new file).
    TIniEncoding Encoding() const { return FEncoding; }
    void SetEncoding(TIniEncoding encoding) { FEncoding = encoding; }

    std::string ReadString(std::string_view section, std::string_view ident, std::string_view def) const;
    void WriteString(std::string_view section, std::string_view ident, std::string_view value);
    // Decimal, "$" or "0x" hexadecimal; def when missing or not a 32-bit number.
    int ReadInteger(std::string_view section, std::string_view ident, int def) const;
    void WriteInteger(std::string_view section, std::string_view ident, int value);
    // ReadInteger(…, def ? 1 : 0) != 0.
    bool ReadBool(std::string_view section, std::string_view ident, bool def) const;
    // Writes "1" or "0".
    void WriteBool(std::string_view section, std::string_view ident, bool value);

    bool SectionExists(std::string_view section) const;
    bool ValueExists(std::string_view section, std::string_view ident) const;
    // The key names of a section.
    void ReadSection(std::string_view section, TStringList& strings) const;
    // The names of all sections, in file order.
    void ReadSections(TStringList& strings) const;
    // The name=value lines of a section.
    void ReadSectionValues(std::string_view section, TStringList& strings) const;
    void EraseSection(std::string_view section);
    void DeleteKey(std::string_view section, std::string_view ident);
    // Removes every section.
    void Clear();

    // The file's text as it is written (without the encoding).
    std::string Text() const;
    // Writes the whole file; raises EWriteError.
    virtual void UpdateFile();

protected:
    struct TSection
    {
        std::string Name;
        std::vector<std::string> Lines; // "name=value", or a line without "="
    };
    TSection* FindSection(std::string_view section);
    const TSection* FindSection(std::string_view section) const;
    void Changed() { FModified = true; }
    bool FModified = false;

private:
    void LoadFromFile();
    void SetText(std::string_view text);
    std::string FFileName;
    TIniEncoding FEncoding = TIniEncoding::Utf8;
    std::vector<TSection> FSections;
};

// An ini file that is either opened for reading only (never written back) or opened for writing and
// written back as UTF-16LE with a [Unicode] section when the object goes away.
//
// The destructor writes the file unless the object is read-only or nothing changed since the last
// successful UpdateFile. A failed write in the destructor raises EWriteError, except while another
// exception is unwinding the stack; objects kept on the heap should call UpdateFile themselves first.
class TUnicodeIniFile : public TMemIniFile
{
public:
    static TUnicodeIniFile CreateForRead(const std::string& fileName)
    {
        return TUnicodeIniFile(fileName, true, false);
    }
    static TUnicodeIniFile CreateForWrite(const std::string& fileName, bool clearEntries)
    {
        return TUnicodeIniFile(fileName, false, clearEntries);
    }
    ~TUnicodeIniFile() noexcept(false) override;

    bool ReadOnly() const { return FReadOnly; }
    // Writes ident=value into [Unicode].
    void WriteProgramInfo(std::string_view ident, std::string_view value);
    // Decimal text, or hexadecimal after "$" or "0x" (more than two characters); def otherwise.
    int64_t ReadInt64(std::string_view section, std::string_view ident, int64_t def) const;
    void WriteInt64(std::string_view section, std::string_view ident, int64_t value);
    // Removes the keys of a section but keeps the section in its place.
    void EraseSectionValues(std::string_view section);
    // Writes the file now unless read-only; raises EWriteError.
    void UpdateFile() override;

private:
    TUnicodeIniFile(const std::string& fileName, bool readOnly, bool clearEntries);
    bool FReadOnly;
    int FUncaught;
};

// The text of an ini file's bytes, its encoding detected as the readers detect it, and text encoded
// for a file (with its byte-order mark). For callers that edit the lines of a file themselves.
std::string DecodeIniBytes(std::string_view bytes, TIniEncoding& encoding);
std::string EncodeIniText(std::string_view text, TIniEncoding encoding);

// One-call routines on a plain ini file; the writers keep the encoding the file had.
std::string IniReadString(const std::string& fileName, std::string_view section, std::string_view ident,
                          std::string_view def);
int IniReadInteger(const std::string& fileName, std::string_view section, std::string_view ident, int def);
bool IniReadBool(const std::string& fileName, std::string_view section, std::string_view ident, bool def);
void IniWriteString(const std::string& fileName, std::string_view section, std::string_view ident,
                    std::string_view value);
void IniWriteInteger(const std::string& fileName, std::string_view section, std::string_view ident,
                     int value);
void IniWriteBool(const std::string& fileName, std::string_view section, std::string_view ident, bool value);
