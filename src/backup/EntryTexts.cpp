#include "backup/EntryTexts.h"

#include "foundation/QvUtilsTexts.h"
#include "foundation/StringUtils.h"
#include "rtl/DateTime.h"
#include "rtl/Gettext.h"
#include "rtl/SysUtils.h"

namespace {

// The first count code points of text followed by "..", when it is longer than limit.
std::string Shortened(const std::string& text, size_t count, size_t limit)
{
    if (utf8::Length(text) <= limit)
        return text;
    return std::string(utf8::Sub(text, 0, count)) + "..";
}

std::string TimeText(const TTimePeriod& p)
{
    std::string t;
    switch (p.Mode) {
    case tmNewer:
        t = SafeFormat(_("from %s"), {DateToStr(p.Dat1)});
        break;
    case tmOlder:
        t = SafeFormat(_("to %s"), {DateToStr(p.Dat2)});
        break;
    case tmSpan:
        t = SafeFormat(_("from %s to %s"), {DateToStr(p.Dat1), DateToStr(p.Dat2)});
        break;
    case tmToday:
        t = SafeFormat(_("today from %s"), {TimeToStr(p.DayTime)});
        break;
    case tmLastDays:
        t = SafeFormat(_("not older than %s"), {FormatCountNoun(_("day"), _("days"), p.Days)});
        break;
    case tmPrevDays:
        t = SafeFormat(_("older than %s"), {FormatCountNoun(_("day"), _("days"), p.Days)});
        break;
    case tmUpdate:
        t = "U";
        break;
    default:
        break;
    }
    if (p.TmRef == trCreate)
        t += "[C]";
    else if (p.TmRef == trBoth)
        t += "[B]";
    return t;
}

std::string AttributeText(const TExtensionList& list)
{
    const TAttributes& a = list.Attributes;
    std::string text;
    if (a.Archive != amIgnore || a.ReadOnly != amIgnore || a.Hidden != amIgnore || a.System != amIgnore) {
        text = "[";
        auto rule = [&text](TAttrMode mode, char letter) {
            if (mode == amInclude)
                text += std::string("+") + letter;
            else if (mode == amExclude)
                text += std::string("-") + letter;
        };
        rule(a.Archive, 'a');
        rule(a.ReadOnly, 'r');
        rule(a.Hidden, 'h');
        rule(a.System, 's');
        text += "] ";
    }
    const TSizeLimits& s = list.SizeLimits;
    switch (s.Mode) {
    case szSmaller:
        text += "<" + FormatSize(true, s.MaxSize);
        break;
    case szLarger:
        text += ">" + FormatSize(true, s.MinSize);
        break;
    case szBetween:
        text += FormatSize(true, s.MinSize) + ".." + FormatSize(true, s.MaxSize);
        break;
    default:
        break;
    }
    while (!text.empty() && text.back() == ' ')
        text.pop_back();
    return text;
}

} // namespace

std::string EntrySelectionText(const TExtensionList& list, bool shortText)
{
    const bool filterOn = list.FFilter.Mode() != fmOff;
    const bool timeOn = list.TmPeriod.Mode != tmAll;
    std::string s = " [" + (filterOn || timeOn ? TimeText(list.TmPeriod) : _("all"));
    if (filterOn) {
        if (s.size() > 2)
            s += ", ";
        std::string f = list.FFilter.GetFilter();
        if (shortText)
            f = Shortened(f, 25, 27);
        else if (list.SubDirMode == sdmFiles)
            f = Shortened(f, 75, 75);
        if (list.FFilter.Regular())
            f = "R:" + f;
        s += SafeFormat(list.FFilter.Mode() == fmInclude ? _("only %s") : _("all except %s"), {f});
    }
    const std::string attributes = AttributeText(list);
    if (!attributes.empty())
        s += " " + attributes;
    s += "]";
    if (list.SubDirMode == sdmFiles)
        s = " [F]" + s;
    else if (list.SubDirMode == sdmPortable)
        s = " [P]" + s;
    else if (list.SubDirList.Count() > 0)
        s = std::string(list.IncludeDirs ? " [+" : " [-") + std::to_string(list.SubDirList.Count()) + "]" + s;
    else if (list.IncludeDirs)
        s = " [+0]" + s;
    if (list.InclMode == buExclude && list.Exclude.Count() > 0)
        s += " [E]";
    else if (list.InclMode == buInclude)
        s += " [I]";
    return s;
}
