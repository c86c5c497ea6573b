#pragma once
// Document summary properties. Linux file systems keep no property sets beside a file's data (extended
// attributes travel with the alternate-stream option), so reading gives an empty summary and writing an
// empty summary does nothing: every routine succeeds with 0.

#include <cstdint>
#include <string>
#include <vector>

struct TFileProperty
{
    uint32_t PropId = 0;
    uint8_t PropVariant[16] = {};
};

using TFilePropertyArray = std::vector<TFileProperty>;

struct TFilePropertySet
{
    uint8_t FormatId[16] = {};
    TFilePropertyArray PropArray;
};

using TFileSummary = std::vector<TFilePropertySet>;

// Reads the summary of source and writes it to dest; the first non-zero status.
int32_t CopyDocumentSummary(const std::string& source, const std::string& dest);
int32_t ReadDocumentSummary(const std::string& fileName, TFileSummary& summary);
int32_t WriteDocumentSummary(const std::string& fileName, const TFileSummary& summary);
