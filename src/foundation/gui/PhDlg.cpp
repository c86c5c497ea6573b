#include "foundation/gui/PhDlg.h"

#include <QButtonGroup>
#include <QGroupBox>
#include <QRadioButton>
#include <QScreen>
#include <QStackedWidget>
#include <QVBoxLayout>
#include <memory>

#include "foundation/gui/NumberEd.h"
#include "foundation/gui/WinUtils.h"

namespace {
enum TPageIndex
{
    pgDate,
    pgTime,
    pgPath,
    pgSystem,
    pgMail,
    pgPreEx,
    pgPostEx,
    pgBuLog,
    pgOtherLog,
    pgPortable
};

using TItems = std::vector<std::pair<const char*, const char*>>;

const TItems DateItems = {{N_("Date (e.g. 2010-12-04)"), "%date%"},
                          {N_("Year and week (e.g. 2009-53)"), "%yaw%"},
                          {N_("Short day of the week (e.g. Mon,Tue)"), "%dow%"},
                          {N_("Long day of the week (e.g. Monday)"), "%ldow%"},
                          {N_("Number of day of week (Monday = 1)"), "%dnw%"},
                          {N_("Day of year (001 .. 365)"), "%day%"},
                          {N_("Week of year (01 .. 53)"), "%week%"},
                          {N_("Day of month (01 .. 31)"), "%dom%"},
                          {N_("Week of month (1 .. 6)"), "%wom%"},
                          {N_("Month of year (01 .. 12)"), "%month%"},
                          {N_("Name of month (e.g. January)"), "%lmonth%"},
                          {N_("Year (e.g. 2010)"), "%year%"},
                          {N_("Other"), ""}};

const TItems TimeItems = {{N_("Time (000000 .. 235959)"), "%time%"},
                          {N_("Hour (00 .. 23)"), "%hour%"},
                          {N_("Minute (00 .. 59)"), "%minute%"},
                          {N_("Alternating days:"), "%d#?%"},
                          {N_("Alternating weeks:"), "%w#?%"},
                          {N_("Alternating months:"), "%m#?%"},
                          {N_("Alternating versions:"), "%v#?%"},
                          {N_("User name"), "%username%"},
                          {N_("Computer name"), "%computername%"},
                          {N_("Volume name of source"), "%volume%"},
                          {N_("Backup mode"), "%mode%"},
                          {N_("Other"), ""}};

const TItems PathItems = {{N_("My Documents"), "%perspath%"},      {N_("Application data"), "%apppath%"},
                          {N_("User profile"), "%profile%"},       {N_("Desktop"), "%desktop%"},
                          {N_("Favorites"), "%favorites%"},        {N_("Program files"), "%progfiles%"},
                          {N_("Vastrel path"), "%progpath%"},      {N_("User name"), "%username%"},
                          {N_("Computer name"), "%computername%"}, {N_("Other environment variables"), ""}};

const TItems SystemItems = {{N_("User application data"), "%appdata%"},
                            {N_("User local application data"), "%localappdata%"},
                            {N_("All users profile"), "%allusersprofile%"},
                            {N_("Public files"), "%public%"},
                            {N_("Program files"), "%programfiles%"},
                            {N_("Common program files"), "%commonprogramfiles%"},
                            {N_("Program files (x86)"), "%programfiles(x86)%"},
                            {N_("Common program files (x86)"), "%commonprogramfiles(x86)%"},
                            {N_("Program data"), "%programdata%"}};

const TItems MailItems = {{N_("Task name"), "%taskname%"},         {N_("User name"), "%username%"},
                          {N_("Computer name"), "%computername%"}, {N_("Start time of action"), "%start%"},
                          {N_("End time of action"), "%end%"},     {N_("Duration of action"), "%duration%"},
                          {N_("Status of action"), "%status%"}};

const TItems PreExItems = {{N_("Date and time"), ""},
                           {N_("Filename of task"), "%taskname%"},
                           {N_("Destination path"), "%dest%"},
                           {N_("Name of zip archive"), "%zipname%"},
                           {N_("System directory"), "%sysdir%"},
                           {N_("Backup task path"), "%taskdir%"},
                           {N_("Vastrel path"), "%progpath%"},
                           {N_("User name"), "%username%"},
                           {N_("Password"), "%password%"}};

TItems PostExItems()
{
    TItems items = PreExItems;
    items.push_back({N_("Log file"), "%logfile%"});
    items.push_back({N_("Backup status"), "%status%"});
    return items;
}

const TItems BuLogItems = {{N_("Date (e.g. 2010-12-04)"), "%date%"},
                           {N_("Time (000000 .. 235959)"), "%time%"},
                           {N_("Year and week (e.g. 2009-53)"), "%yaw%"},
                           {N_("Year and month (e.g. 2019-07)"), "%yam%"},
                           {N_("Year (e.g. 2010)"), "%year%"},
                           {N_("User name"), "%username%"},
                           {N_("Computer name"), "%computername%"},
                           {N_("Destination path"), "%dest%"},
                           {N_("Drive of destinatiom"), "%drive%"},
                           {N_("Volume name of destination"), "%volume%"}};

TItems PortableItems()
{
    TItems items = {{N_("Device name"), "%device%"}};
    items.insert(items.end(), DateItems.begin(), DateItems.end() - 1);
    return items;
}

// Page captions in page order.
const char* const PageCaptions[] = {N_("Date and time"),
                                    N_("Time"),
                                    N_("File path:"),
                                    N_("System"),
                                    N_("Mail subject"),
                                    N_("External programs before backup"),
                                    N_("External programs after backup"),
                                    N_("Log file"),
                                    N_("Other logs"),
                                    N_("Portable devices")};

const int CycleMax[] = {366, 53, 12, 99};
} // namespace

TPlaceHolderDialog::TPlaceHolderDialog(QWidget* parent) : TDialogBase(parent)
{
    setObjectName(QStringLiteral("PlaceHolderDialog"));
    setWindowTitle(TrQ("Insert placeholder"));
    PageControl = new QStackedWidget(this);
    PageControl->setObjectName(QStringLiteral("PageControl"));
    AddPage("tsDate", DateItems);
    AddPage("tsTime", TimeItems);
    AddPage("tsPath", PathItems);
    AddPage("tsSystem", SystemItems);
    AddPage("tsMail", MailItems);
    AddPage("tsPreEx", PreExItems);
    AddPage("tsPostEx", PostExItems());
    AddPage("tsBuLog", BuLogItems);
    AddPage("tsOtherLog", TItems(BuLogItems.begin(), BuLogItems.begin() + 7));
    AddPage("tsPortable", PortableItems());
    reCycle = new TRangeEdit(Pages[pgTime].Group);
    reCycle->setObjectName(QStringLiteral("reCycle"));
    reCycle->SetMaxValue(99);
    reCycle->SetMinValue(2);
    reCycle->SetValue(2);
    reCycle->setFixedWidth(44);
    udCycle = new TNumUpDown(Pages[pgTime].Group);
    udCycle->setObjectName(QStringLiteral("udCycle"));
    udCycle->SetAssociate(reCycle);
    reCycle->hide();
    udCycle->hide();
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(PageControl, 1);
    AddOkCancel(this, layout);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

int TPlaceHolderDialog::AddPage(const char* name, const TItems& items)
{
    const int index = static_cast<int>(Pages.size());
    TPage page;
    page.Group = new QGroupBox(TrQ("Placeholder for"));
    page.Group->setAccessibleName(TrQ(PageCaptions[index]));
    page.Group->setObjectName(QString::fromLatin1(name));
    auto* group = new QButtonGroup(page.Group);
    auto* v = new QVBoxLayout(page.Group);
    for (size_t i = 0; i < items.size(); ++i) {
        auto* rb = new QRadioButton(TrQ(items[i].first), page.Group);
        rb->setObjectName(QStringLiteral("%1Item%2").arg(QString::fromLatin1(name)).arg(i));
        group->addButton(rb, static_cast<int>(i));
        v->addWidget(rb);
        page.Items.push_back(rb);
        page.Values.push_back(items[i].second);
        connect(rb, &QRadioButton::toggled, this, [this, index, i](bool on) {
            if (on)
                GuardSlot([&] { ItemChosen(index, static_cast<int>(i)); });
        });
    }
    v->addStretch(1);
    PageControl->addWidget(page.Group);
    Pages.push_back(page);
    return index;
}

void TPlaceHolderDialog::ShowPage(int page, int item)
{
    FSwitching = true;
    // The dialog takes the height of the page that shows.
    for (int i = 0; i < PageControl->count(); ++i)
        PageControl->widget(i)->setSizePolicy(QSizePolicy::Preferred,
                                              i == page ? QSizePolicy::Preferred : QSizePolicy::Ignored);
    PageControl->setCurrentIndex(page);
    if (item >= 0 && item < static_cast<int>(Pages[static_cast<size_t>(page)].Items.size()))
        Pages[static_cast<size_t>(page)].Items[static_cast<size_t>(item)]->setChecked(true);
    FSwitching = false;
    int checked = -1;
    if (page == pgTime)
        for (size_t i = 0; i < Pages[pgTime].Items.size(); ++i)
            if (Pages[pgTime].Items[i]->isChecked())
                checked = static_cast<int>(i);
    PlaceCycle(checked);
    adjustSize();
}

void TPlaceHolderDialog::PlaceCycle(int item)
{
    const bool show = item >= 3 && item <= 6;
    reCycle->setVisible(show);
    udCycle->setVisible(show);
    if (!show)
        return;
    reCycle->SetMaxValue(CycleMax[item - 3]);
    QRadioButton* rb = Pages[pgTime].Items[static_cast<size_t>(item)];
    const int x = rb->x() + rb->sizeHint().width() + 8;
    reCycle->move(x, rb->y() + (rb->height() - reCycle->height()) / 2);
    udCycle->SetAssociate(reCycle);
}

void TPlaceHolderDialog::ItemChosen(int page, int item)
{
    if (FSwitching)
        return;
    const size_t last = Pages[static_cast<size_t>(page)].Items.size() - 1;
    if (page == pgDate && static_cast<size_t>(item) == last)
        ShowPage(pgTime, 0);
    else if (page == pgTime && static_cast<size_t>(item) == last)
        ShowPage(pgDate, 0);
    else if (page == pgPath && static_cast<size_t>(item) == last)
        ShowPage(pgSystem, 0);
    else if ((page == pgPreEx || page == pgPostEx) && item == 0)
        ShowPage(pgDate, 0);
    else if (page == pgTime)
        PlaceCycle(item);
}

std::string TPlaceHolderDialog::Chosen() const
{
    const int page = PageControl->currentIndex();
    const TPage& p = Pages[static_cast<size_t>(page)];
    for (size_t i = 0; i < p.Items.size(); ++i) {
        if (!p.Items[i]->isChecked())
            continue;
        std::string value = p.Values[i];
        if (page == pgTime && value.find('#') != std::string::npos) {
            const size_t q = value.find('?');
            if (q != std::string::npos)
                value.replace(q, 1, std::to_string(reCycle->Value()));
        }
        return value;
    }
    return {};
}

std::string TPlaceHolderDialog::Execute(const QPoint& APos, TPhType pt, const std::string& AAction)
{
    int page = pgDate;
    int item = 0;
    switch (pt) {
    case ptTime:
        page = pgDate;
        break;
    case ptPath:
        page = pgPath;
        break;
    case ptMail:
        page = pgMail;
        Pages[pgMail].Group->setTitle(TrQ("Placeholder for") + QStringLiteral(" ") + QStr(AAction));
        break;
    case ptPreEx:
        page = pgPreEx;
        item = 1;
        break;
    case ptPostEx:
        page = pgPostEx;
        item = 1;
        break;
    case ptBuLog:
        page = pgBuLog;
        break;
    case ptOtherLog:
        page = pgOtherLog;
        break;
    case ptPortable:
        page = pgPortable;
        break;
    }
    ShowPage(page, item);
    if (APos.x() < 0 || APos.y() < 0) {
        if (const QScreen* s = screen()) {
            const QRect g = s->availableGeometry();
            move(g.x() + (g.width() - width()) / 2, g.y() + (g.height() - height()) / 2);
        }
    } else {
        move(APos);
        FitFormToWorkArea(this);
    }
    if (exec() != QDialog::Accepted)
        return {};
    return Chosen();
}

void TPlaceHolderDialog::accept()
{
    bool ok = true;
    GuardSlot([&] { ok = !reCycle->isVisible() || reCycle->CheckRange(); });
    if (ok)
        QDialog::accept();
}

std::string SelectPlaceholder(const QPoint& APos, TPhType PhType, const std::string& AAction)
{
    auto dlg = std::make_unique<TPlaceHolderDialog>();
    return dlg->Execute(APos, PhType, AAction);
}
