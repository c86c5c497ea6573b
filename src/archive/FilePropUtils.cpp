#include "archive/FilePropUtils.h"

int32_t ReadDocumentSummary(const std::string&, TFileSummary& summary)
{
    summary.clear();
    return 0;
}

int32_t WriteDocumentSummary(const std::string&, const TFileSummary& summary)
{
    if (summary.empty())
        return 0;
    return 0; // nothing can hold a summary here; the sets read are always empty
}

int32_t CopyDocumentSummary(const std::string& source, const std::string& dest)
{
    TFileSummary summary;
    int32_t status = ReadDocumentSummary(source, summary);
    if (status == 0)
        status = WriteDocumentSummary(dest, summary);
    return status;
}
