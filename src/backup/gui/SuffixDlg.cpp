#include "backup/gui/SuffixDlg.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>
#include <memory>

#include "foundation/PathUtils.h"
#include "foundation/gui/NumberEd.h"
#include "foundation/gui/QvUtilsForms.h"
#include "foundation/gui/ShowMessageDlg.h"
#include "foundation/gui/WinUtils.h"

namespace {
QWidget* Counter(QWidget* parent, TRangeEdit* edit)
{
    auto* box = new QWidget(parent);
    auto* row = new QHBoxLayout(box);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    edit->setParent(box);
    auto* ud = new TNumUpDown(box);
    ud->SetAssociate(edit);
    row->addWidget(edit);
    row->addWidget(ud);
    row->addStretch(1);
    return box;
}
} // namespace

TSuffixDialog::TSuffixDialog(QWidget* parent) : TTaskDialogBase("qv-options.html#save", parent)
{
    setObjectName(QStringLiteral("SuffixDialog"));
    setWindowTitle(TrQ("Security copies during backups"));

    const TCopyLocationGroup location =
        NewCopyLocationGroup(this, TrQ("Location of older file versions"), true);
    QGroupBox* gbLocation = location.Box;
    rbNone = location.None;
    rbSubDir = location.SubDir;
    rbSepDir = location.SepDir;
    rbRootDir = location.RootDir;
    cbRootDate = location.RootDate;
    cbRootDrive = location.RootDrive;
    laPrefix = location.PrefixLabel;
    edPrefix = location.Prefix;
    edtDir = location.Dir;

    gbSuffix = new QGroupBox(TrQ("Rename older file versions"), this);
    gbSuffix->setObjectName(QStringLiteral("gbSuffix"));
    edSuffix = new QLineEdit(gbSuffix);
    edSuffix->setObjectName(QStringLiteral("edSuffix"));
    edSuffix->setPlaceholderText(TrQ("Suffix inserted before the extension"));
    btnFDate =
        PlaceholderButton(gbSuffix, "btnFDate", "%fdate%", "Insert placeholder for file timestamp", edSuffix);
    btnBDate =
        PlaceholderButton(gbSuffix, "btnBDate", "%bdate%", "Insert placeholder for backup date", edSuffix);
    btnBTime =
        PlaceholderButton(gbSuffix, "btnBTime", "%btime%", "Insert placeholder for backup time", edSuffix);
    auto* suffixLabel = new QLabel(TrQ("Suffix:"), gbSuffix);
    suffixLabel->setBuddy(edSuffix);
    auto* suf = new QGridLayout(gbSuffix);
    suf->addWidget(suffixLabel, 0, 0);
    suf->addWidget(edSuffix, 0, 1, 1, 3);
    suf->addWidget(btnFDate, 1, 1);
    suf->addWidget(btnBDate, 1, 2);
    suf->addWidget(btnBTime, 1, 3);

    gbHistory = new QGroupBox(TrQ("History copies"), this);
    gbHistory->setObjectName(QStringLiteral("gbHistory"));
    reMaxHist = NewRangeEdit(gbHistory, "reMaxHist", 1, 99, 1);
    reMaxHist->setToolTip(TrQ("Number of older versions kept of each file"));
    auto* hist = new QHBoxLayout(gbHistory);
    auto* maxLabel = new QLabel(TrQ("Maximum number:"), gbHistory);
    maxLabel->setBuddy(reMaxHist);
    hist->addWidget(maxLabel);
    hist->addWidget(Counter(gbHistory, reMaxHist));

    gbAge = new QGroupBox(TrQ("Maximum age of older versions"), this);
    gbAge->setObjectName(QStringLiteral("gbAge"));
    reAge = NewRangeEdit(gbAge, "reAge", 0, 999, 0);
    reAge->setToolTip(TrQ("0 = keep all older versions"));
    reMinHist = NewRangeEdit(gbAge, "reMinHist", 1, 99, 1);
    reMinHist->setToolTip(TrQ("Number of versions kept even when they are older"));
    laMinHist = new QLabel(TrQ("Minimum number:"), gbAge);
    laMinHist->setBuddy(reMinHist);
    auto* age = new QGridLayout(gbAge);
    auto* ageLabel = new QLabel(TrQ("Weeks:"), gbAge);
    ageLabel->setBuddy(reAge);
    age->addWidget(ageLabel, 0, 0);
    age->addWidget(Counter(gbAge, reAge), 0, 1);
    age->addWidget(laMinHist, 1, 0);
    age->addWidget(Counter(gbAge, reMinHist), 1, 1);
    age->setColumnStretch(1, 1);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(gbLocation);
    layout->addWidget(gbSuffix);
    auto* lower = new QHBoxLayout;
    lower->addWidget(gbHistory, 1);
    lower->addWidget(gbAge, 1);
    layout->addLayout(lower);
    AddOkCancel(this, layout);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    setMinimumWidth(460);

    for (QRadioButton* rb : {rbNone, rbSubDir, rbSepDir, rbRootDir})
        connect(rb, &QRadioButton::toggled, this, [this](bool on) {
            if (on && !FUpdating)
                GuardSlot([this] { LocationChanged(); });
        });
    connect(cbRootDate, &QCheckBox::toggled, this, [this] { GuardSlot([this] { RootDateChanged(); }); });
    connect(edSuffix, &QLineEdit::textChanged, this, [this] { GuardSlot([this] { SuffixChanged(); }); });
    connect(reMaxHist, &TRangeEdit::Changed, this, [this] { GuardSlot([this] { CountersChanged(); }); });
    connect(reAge, &TRangeEdit::Changed, this, [this] { GuardSlot([this] { CountersChanged(); }); });
}

void TSuffixDialog::DefaultSuffixIfEmpty()
{
    if (edSuffix->text().isEmpty())
        edSuffix->setText(QStr(ProgSettings.SecCopySettings.BakSuffix));
}

void TSuffixDialog::LocationChanged()
{
    const bool inPlace = rbNone->isChecked();
    const bool root = rbRootDir->isChecked();
    laPrefix->setVisible(!inPlace);
    edPrefix->setVisible(!inPlace);
    edtDir->setVisible(!inPlace);
    cbRootDate->setVisible(root);
    cbRootDate->setChecked(false);
    RootDateChanged();
    DefaultSuffixIfEmpty();
    cbRootDrive->setVisible(root && FSepDrives);
    cbRootDrive->setEnabled(root);
    cbRootDrive->setChecked(false);
}

void TSuffixDialog::RootDateChanged()
{
    const bool byDate = cbRootDate->isChecked();
    gbSuffix->setVisible(!byDate);
    gbHistory->setVisible(!byDate);
    cbRootDrive->setChecked(byDate);
    cbRootDrive->setEnabled(!byDate);
    if (byDate)
        edSuffix->clear();
    else
        DefaultSuffixIfEmpty();
    gbAge->setTitle(byDate ? TrQ("Maximum age of backup") : TrQ("Maximum age of older versions"));
}

void TSuffixDialog::SuffixChanged()
{
    reMaxHist->setEnabled(!HasDatePlaceholder(StdStr(edSuffix->text())));
}

void TSuffixDialog::CountersChanged()
{
    bool error = false;
    const int64_t maxHist = ParseNumberText(StdStr(reMaxHist->text()), reMaxHist->Prefix(), nmDecimal, error);
    const int64_t ageWeeks = ParseNumberText(StdStr(reAge->text()), reAge->Prefix(), nmDecimal, error);
    const bool dateButtons = maxHist == 1 && gbSuffix->isEnabled();
    btnBDate->setEnabled(dateButtons);
    btnBTime->setEnabled(dateButtons);
    btnFDate->setEnabled(dateButtons && !rbSepDir->isHidden());
    const bool minEnabled = !dateButtons && ageWeeks > 0;
    reMinHist->setEnabled(minEnabled);
    laMinHist->setEnabled(minEnabled);
    if (maxHist >= 1 && maxHist <= 99)
        reMinHist->SetMaxValue(maxHist);
    if (!dateButtons && !cbRootDate->isChecked())
        DefaultSuffixIfEmpty();
}

bool TSuffixDialog::Execute(TBakOptions Options, bool SepDrives, TSecSettings& BakSec)
{
    FUpdating = true;
    edtDir->setText(QStr(BakSec.DirSuffix));
    gbAge->setVisible(Options != boFTP);
    const bool moreDirs = Options != boFTP && Options != boZip;
    rbSepDir->setVisible(moreDirs);
    rbRootDir->setVisible(moreDirs);
    if (Options == boFTP && BakSec.DirMode > sdSubDir)
        BakSec.DirMode = sdSubDir;
    if (!SepDrives && BakSec.DirMode == sdRootDrive)
        BakSec.DirMode = sdRootDir;
    for (QPushButton* b : {btnFDate, btnBDate, btnBTime})
        b->setVisible(Options != boZip);
    FSepDrives = SepDrives;
    edPrefix->setText(QStr(BakSec.DirPrefix));

    if (BakSec.DirMode == sdRootDate || BakSec.DirMode == sdRootDrive) {
        rbRootDir->setChecked(true);
        cbRootDate->setVisible(true);
        cbRootDate->setChecked(BakSec.DirMode == sdRootDate);
        RootDateChanged();
        cbRootDrive->setVisible(SepDrives);
        cbRootDrive->setChecked(true);
        cbRootDrive->setEnabled(BakSec.DirMode == sdRootDrive);
    } else {
        switch (BakSec.DirMode) {
        case sdSubDir:
            rbSubDir->setChecked(true);
            break;
        case sdSepDir:
            rbSepDir->setChecked(true);
            break;
        case sdRootDir:
            rbRootDir->setChecked(true);
            break;
        default:
            rbNone->setChecked(true);
        }
        cbRootDate->setChecked(false);
        RootDateChanged();
        cbRootDate->setVisible(false);
        cbRootDrive->setVisible(false);
        cbRootDrive->setChecked(false);
    }
    const bool inPlace = rbNone->isChecked();
    laPrefix->setVisible(!inPlace);
    edPrefix->setVisible(!inPlace);
    edtDir->setVisible(!inPlace);

    QString suffix = QStr(BakSec.FileSuffix);
    if (BakSec.MaxHist >= 2) {
        while (suffix.endsWith(QLatin1Char('#')))
            suffix.chop(1);
        while (suffix.endsWith(QLatin1Char('-')))
            suffix.chop(1);
    }
    if (BakSec.DirMode != sdRootDate)
        edSuffix->setText(suffix);
    reMaxHist->SetValue(std::max(1, BakSec.MaxHist));
    reMinHist->SetMaxValue(99);
    reMinHist->SetValue(std::max(1, BakSec.MinHist));
    reAge->SetValue(BakSec.AgeInWeeks);
    SuffixChanged();
    CountersChanged();
    FUpdating = false;
    PlaceDialog(this, DefaultFormPos);
    if (exec() != QDialog::Accepted)
        return false;

    BakSec.MaxHist = static_cast<int32_t>(reMaxHist->Value());
    BakSec.MinHist = static_cast<int32_t>(std::clamp<int64_t>(reMinHist->Value(), 1, BakSec.MaxHist));
    std::string text = StdStr(edSuffix->text());
    if (BakSec.MaxHist < 2)
        BakSec.FileSuffix = text;
    else {
        const size_t first = text.find_first_not_of('.');
        text = first == std::string::npos ? std::string() : text.substr(first);
        BakSec.FileSuffix = text.empty() ? "#" : text + "-#";
    }
    BakSec.AgeInWeeks = static_cast<int32_t>(reAge->Value());
    if (rbSubDir->isChecked())
        BakSec.DirMode = sdSubDir;
    else if (rbSepDir->isChecked())
        BakSec.DirMode = sdSepDir;
    else if (rbRootDir->isChecked()) {
        if (cbRootDate->isChecked()) {
            BakSec.DirMode = sdRootDate;
            BakSec.FileSuffix.clear();
        } else if (cbRootDrive->isChecked())
            BakSec.DirMode = sdRootDrive;
        else
            BakSec.DirMode = sdRootDir;
    } else
        BakSec.DirMode = sdNone;
    if (BakSec.DirMode != sdNone)
        BakSec.DirPrefix = StdStr(edPrefix->text());
    else if (BakSec.DirPrefix.empty())
        BakSec.DirPrefix = ProgSettings.SecCopySettings.BakPrefix;
    return true;
}

void TSuffixDialog::accept()
{
    bool ok = true;
    GuardSlot([&] {
        for (TRangeEdit* e : {reMaxHist, reAge, reMinHist})
            if (e->isEnabled() && e->isVisibleTo(this) && !e->CheckRange()) {
                ok = false;
                return;
            }
        const std::string suffix = StdStr(edSuffix->text());
        if (!cbRootDate->isChecked() &&
            ((suffix.empty() && rbNone->isChecked()) || (!suffix.empty() && !IsValidFileName(suffix)))) {
            ok = false;
            edSuffix->setFocus();
            ErrorDialog(_("Invalid suffix for backup copies!"));
        }
    });
    if (ok)
        QDialog::accept();
}

bool ShowSuffixDialog(TBakOptions Options, bool SepDrives, TSecSettings& BakSec)
{
    if (!GuiAvailable())
        return false;
    auto dlg = std::make_unique<TSuffixDialog>();
    return dlg->Execute(Options, SepDrives, BakSec);
}
