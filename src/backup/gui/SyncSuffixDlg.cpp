#include "backup/gui/SyncSuffixDlg.h"

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

#include "foundation/gui/QvUtilsForms.h"
#include "foundation/gui/WinUtils.h"

TSyncSuffixDialog::TSyncSuffixDialog(QWidget* parent) : TTaskDialogBase("qv-options.html#savesync", parent)
{
    setObjectName(QStringLiteral("SyncSuffixDialog"));
    setWindowTitle(TrQ("Security copies during synchronization"));

    const TCopyLocationGroup location =
        NewCopyLocationGroup(this, TrQ("Location of files and directories to be deleted"), false);
    QGroupBox* gbLocation = location.Box;
    rbNone = location.None;
    rbSubDir = location.SubDir;
    rbSepDir = location.SepDir;
    rbRootDir = location.RootDir;
    cbRootDrive = location.RootDrive;
    laPrefix = location.PrefixLabel;
    edPrefix = location.Prefix;
    edtDir = location.Dir;

    gbDirs = new QGroupBox(TrQ("Rename directories to be deleted"), this);
    gbDirs->setObjectName(QStringLiteral("gbDirs"));
    edDirPrefix = new QLineEdit(gbDirs);
    edDirPrefix->setObjectName(QStringLiteral("edDirPrefix"));
    edDirSuffix = new QLineEdit(gbDirs);
    edDirSuffix->setObjectName(QStringLiteral("edDirSuffix"));
    edDirSuffix->setPlaceholderText(TrQ("Suffix appended to the directory name"));
    btnDirFDate = PlaceholderButton(gbDirs, "btnDirFDate", "%fdate%",
                                    "Insert placeholder for directory timestamp", edDirSuffix);
    btnDirBDate = PlaceholderButton(gbDirs, "btnDirBDate", "%bdate%", "Insert placeholder for backup date",
                                    edDirSuffix);
    btnDirBTime = PlaceholderButton(gbDirs, "btnDirBTime", "%btime%", "Insert placeholder for backup time",
                                    edDirSuffix);
    auto* dirs = new QGridLayout(gbDirs);
    auto* prefixLabel = new QLabel(TrQ("Prefix"), gbDirs);
    prefixLabel->setObjectName(QStringLiteral("laDirPrefix"));
    prefixLabel->setBuddy(edDirPrefix);
    auto* dirSuffixLabel = new QLabel(TrQ("Suffix:"), gbDirs);
    dirSuffixLabel->setBuddy(edDirSuffix);
    dirs->addWidget(prefixLabel, 0, 0);
    dirs->addWidget(edDirPrefix, 0, 1, 1, 3);
    dirs->addWidget(dirSuffixLabel, 1, 0);
    dirs->addWidget(edDirSuffix, 1, 1, 1, 3);
    dirs->addWidget(btnDirFDate, 2, 1);
    dirs->addWidget(btnDirBDate, 2, 2);
    dirs->addWidget(btnDirBTime, 2, 3);

    gbFiles = new QGroupBox(TrQ("Rename files to be deleted"), this);
    gbFiles->setObjectName(QStringLiteral("gbFiles"));
    edFileSuffix = new QLineEdit(gbFiles);
    edFileSuffix->setObjectName(QStringLiteral("edFileSuffix"));
    edFileSuffix->setPlaceholderText(TrQ("Suffix inserted before the extension (\"+\": after it)"));
    btnFDate = PlaceholderButton(gbFiles, "btnFDate", "%fdate%", "Insert placeholder for file timestamp",
                                 edFileSuffix);
    btnBDate =
        PlaceholderButton(gbFiles, "btnBDate", "%bdate%", "Insert placeholder for backup date", edFileSuffix);
    btnBTime =
        PlaceholderButton(gbFiles, "btnBTime", "%btime%", "Insert placeholder for backup time", edFileSuffix);
    auto* files = new QGridLayout(gbFiles);
    auto* fileSuffixLabel = new QLabel(TrQ("Suffix:"), gbFiles);
    fileSuffixLabel->setBuddy(edFileSuffix);
    files->addWidget(fileSuffixLabel, 0, 0);
    files->addWidget(edFileSuffix, 0, 1, 1, 3);
    files->addWidget(btnFDate, 1, 1);
    files->addWidget(btnBDate, 1, 2);
    files->addWidget(btnBTime, 1, 3);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(gbLocation);
    layout->addWidget(gbDirs);
    layout->addWidget(gbFiles);
    AddOkCancel(this, layout);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    setMinimumWidth(460);

    for (QRadioButton* rb : {rbNone, rbSubDir, rbSepDir, rbRootDir})
        connect(rb, &QRadioButton::toggled, this, [this](bool on) {
            if (on)
                GuardSlot([this] {
                    cbRootDrive->setChecked(false);
                    UpdateView();
                });
        });
    connect(edPrefix, &QLineEdit::textChanged, this, [this] { MirrorPrefix(edPrefix, edDirPrefix); });
    connect(edDirPrefix, &QLineEdit::textChanged, this, [this] { MirrorPrefix(edDirPrefix, edPrefix); });
}

void TSyncSuffixDialog::MirrorPrefix(QLineEdit* from, QLineEdit* to)
{
    if (FMirroring)
        return;
    FMirroring = true;
    to->setText(from->text());
    FMirroring = false;
}

void TSyncSuffixDialog::UpdateView()
{
    const bool inPlace = rbNone->isChecked();
    laPrefix->setVisible(!inPlace);
    edPrefix->setVisible(!inPlace);
    edtDir->setVisible(!inPlace);
    edDirPrefix->setVisible(inPlace);
    if (auto* label = findChild<QLabel*>(QStringLiteral("laDirPrefix")))
        label->setVisible(inPlace);
    if (inPlace && edFileSuffix->text().isEmpty())
        edFileSuffix->setText(QStr(ProgSettings.SecCopySettings.SyncSuffix));
    cbRootDrive->setVisible(rbRootDir->isChecked() && FSepDrives);
}

bool TSyncSuffixDialog::Execute(bool IsFtp, bool SepDrives, TSecSettings& SyncSec)
{
    edtDir->setText(QStr(ProgSettings.SecCopySettings.SyncSuffix));
    rbSepDir->setVisible(!IsFtp);
    rbRootDir->setVisible(!IsFtp);
    btnDirFDate->setEnabled(!IsFtp);
    btnFDate->setEnabled(!IsFtp);
    if (IsFtp &&
        (SyncSec.DirMode == sdSepDir || SyncSec.DirMode == sdRootDir || SyncSec.DirMode == sdRootDrive))
        SyncSec.DirMode = sdSubDir;
    if (!SepDrives && SyncSec.DirMode == sdRootDrive)
        SyncSec.DirMode = sdRootDir;
    FSepDrives = SepDrives;
    switch (SyncSec.DirMode) {
    case sdSubDir:
        rbSubDir->setChecked(true);
        break;
    case sdSepDir:
        rbSepDir->setChecked(true);
        break;
    case sdRootDir:
    case sdRootDrive:
        rbRootDir->setChecked(true);
        break;
    default:
        rbNone->setChecked(true);
    }
    cbRootDrive->setChecked(SyncSec.DirMode == sdRootDrive);
    edPrefix->setText(QStr(SyncSec.DirPrefix));
    edDirSuffix->setText(QStr(SyncSec.DirSuffix));
    edFileSuffix->setText(QStr(SyncSec.FileSuffix));
    UpdateView();
    PlaceDialog(this, DefaultFormPos);
    if (exec() != QDialog::Accepted)
        return false;

    if (rbSubDir->isChecked())
        SyncSec.DirMode = sdSubDir;
    else if (rbSepDir->isChecked())
        SyncSec.DirMode = sdSepDir;
    else if (rbRootDir->isChecked())
        SyncSec.DirMode = cbRootDrive->isChecked() ? sdRootDrive : sdRootDir;
    else
        SyncSec.DirMode = sdNone;
    std::string suffix = StdStr(edFileSuffix->text());
    const size_t first = suffix.find_first_not_of('.');
    suffix = first == std::string::npos ? std::string() : suffix.substr(first);
    if (suffix.empty() && SyncSec.DirMode == sdNone)
        suffix = ProgSettings.SecCopySettings.SyncSuffix;
    SyncSec.FileSuffix = suffix;
    SyncSec.DirPrefix = StdStr(edPrefix->text());
    if (SyncSec.DirPrefix.empty())
        SyncSec.DirPrefix = ProgSettings.SecCopySettings.SyncPrefix;
    SyncSec.DirSuffix = StdStr(edDirSuffix->text());
    return true;
}

bool ShowSyncSuffixDialog(bool IsFtp, bool SepDrives, TSecSettings& SyncSec)
{
    if (!GuiAvailable())
        return false;
    auto dlg = std::make_unique<TSyncSuffixDialog>();
    return dlg->Execute(IsFtp, SepDrives, SyncSec);
}
