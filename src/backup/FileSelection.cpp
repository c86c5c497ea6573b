#include "backup/FileSelection.h"

bool ExtensionMatches(const std::string& fileName, const TExtensionList& list, std::string& ext)
{
    ext = FileTypeName(fileName);
    return list.TypePasses(ext);
}

bool MatchAttributes(const TAttributes& attributes, uint32_t attr)
{
    bool required = true;
    bool excluded = false;
    auto test = [&](TAttrMode mode, uint32_t bit) {
        if (mode == amInclude)
            required = required && (attr & bit) != 0;
        else if (mode == amExclude)
            excluded = excluded || (attr & bit) != 0;
    };
    test(attributes.Archive, faArchive);
    test(attributes.ReadOnly, faReadOnly);
    test(attributes.Hidden, faHidden);
    test(attributes.System, faSysFile);
    return required && !excluded;
}

bool FileInTimePeriod(const TTimePeriod& period, const TSelFileInfo& info, const TSelectionContext& context)
{
    return FileTimesPass(period, info.DateTime, info.CreationTime, context.Today, context.LastBackupTime);
}

namespace {

// The run's window where one is given, else the entry's own.
const TTimePeriod& ActivePeriod(const TExtensionList& list, const TSelectionContext& context)
{
    return context.CmdTmPeriod.Mode == tmOff ? list.TmPeriod : context.CmdTmPeriod;
}

} // namespace

bool SelectionUsesTimes(const TExtensionList& list, const TSelectionContext& context)
{
    return context.CmdTmPeriod.Mode != tmError && ActivePeriod(list, context).Mode != tmAll;
}

bool FileMatchesSelection(const std::string& text, const TSelFileInfo& info, const TExtensionList& list,
                          const TSelectionContext& context)
{
    if (!list.NameFilterPasses(text) || !MatchAttributes(list.Attributes, info.Attr))
        return false;
    if (!list.SizePasses(info.Size))
        return false;
    if (context.CmdTmPeriod.Mode == tmError)
        return false;
    return FileInTimePeriod(ActivePeriod(list, context), info, context);
}
