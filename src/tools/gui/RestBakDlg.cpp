#include "tools/gui/RestBakDlg.h"

#include <QButtonGroup>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "foundation/IniFileUtils.h"
#include "tools/RestBak.h"

namespace {

constexpr TSecSelections Bit(TSecSelection s)
{
    return static_cast<TSecSelections>(1u << s);
}

} // namespace

TRestBakDialog::TRestBakDialog(QWidget* parent) : TDialogBase(parent)
{
    setObjectName(QStringLiteral("RestBakDialog"));
    auto* main = new QVBoxLayout(this);
    auto* groups = new QHBoxLayout;
    int g = 0;
    auto makeGroup = [&](const char* name, const char* caption, QLineEdit*& prefix, QLineEdit*& suffix,
                         QRadioButton** dirs, QRadioButton** files, const char* prefixName,
                         const char* suffixName, const char* dirName, const char* fileName, bool bak) {
        auto* box = new QGroupBox(TrQ(caption), this);
        box->setObjectName(QString::fromLatin1(name));
        auto* grid = new QGridLayout(box);
        grid->addWidget(new QLabel(TrQ("Directory prefix"), box), 0, 0);
        prefix = new QLineEdit(box);
        prefix->setObjectName(QString::fromLatin1(prefixName));
        grid->addWidget(prefix, 0, 1);
        auto radioPair = [&](int row, const char* label, const char* objName, QRadioButton** pair) {
            auto* w = new QWidget(box);
            w->setObjectName(QString::fromLatin1(objName));
            auto* l = new QHBoxLayout(w);
            l->setContentsMargins(0, 0, 0, 0);
            l->addWidget(new QLabel(TrQ(label), w));
            auto* bg = new QButtonGroup(w);
            for (int i = 0; i < 2; ++i) {
                pair[i] = new QRadioButton(TrQ(i == 0 ? "Ignore" : "Include"), w);
                pair[i]->setObjectName(QString::fromLatin1(objName) + QString::number(i));
                bg->addButton(pair[i], i);
                l->addWidget(pair[i]);
            }
            l->addStretch(1);
            grid->addWidget(w, row, 0, 1, 2);
            FGroups[g++] = w;
        };
        radioPair(1, "Directories with matching prefix", dirName, dirs);
        grid->addWidget(new QLabel(TrQ("Filename suffix"), box), 2, 0);
        auto* sr = new QHBoxLayout;
        suffix = new QLineEdit(box);
        suffix->setObjectName(QString::fromLatin1(suffixName));
        grid->addWidget(suffix, 2, 1);
        struct Ph
        {
            const char* text;
            const char* hint;
        };
        std::vector<Ph> phs = {{"%fdate%", "Insert placeholder for file timestamp"},
                               {"%bdate%", "Insert placeholder for backup date"},
                               {"%btime%", "Insert placeholder for backup time"}};
        if (bak)
            phs.push_back({"-#", "Insert placeholder for history"});
        for (const Ph& ph : phs) {
            auto* b = new QPushButton(QString::fromLatin1(ph.text), box);
            b->setAutoDefault(false);
            b->setToolTip(TrQ(ph.hint));
            QLineEdit* edit = suffix;
            const QString text = QString::fromLatin1(ph.text);
            connect(b, &QPushButton::clicked, this, [edit, text] {
                edit->setText(edit->text() + text);
                edit->setFocus();
                edit->setCursorPosition(static_cast<int>(edit->text().size()));
            });
            sr->addWidget(b);
        }
        sr->addStretch(1);
        grid->addLayout(sr, 3, 1);
        radioPair(4, "Files with matching suffix", fileName, files);
        groups->addWidget(box);
    };
    makeGroup("gbBak", "Security copies created on backup", edtBakPrefix, edtBakSuffix, rgBakDir, rgBakFile,
              "edtBakPrefix", "edtBakSuffix", "rgBakDir", "rgBakFile", true);
    makeGroup("gbSync", "Security copies created on synchronization", edtSyncPrefix, edtSyncSuffix, rgSyncDir,
              rgSyncFile, "edtSyncPrefix", "edtSyncSuffix", "rgSyncDir", "rgSyncFile", false);
    main->addLayout(groups);
    laHint = new QLabel(this);
    laHint->setObjectName(QStringLiteral("laHint"));
    main->addWidget(laHint);
    auto* row = new QHBoxLayout;
    auto* import = new QPushButton(TrQ("Import"), this);
    import->setObjectName(QStringLiteral("btnImport"));
    import->setToolTip(TrQ("Import settings from backup task"));
    import->setAutoDefault(false);
    row->addWidget(import);
    main->addLayout(row);
    AddOkCancel(this, row);
    connect(import, &QPushButton::clicked, this, [this] {
        GuardSlot([this] {
            const QString file =
                QFileDialog::getOpenFileName(this, TrQ("Import settings from backup task"), QStr(BuJobName),
                                             TrQ("Backup tasks") + " (*.buj);;" + TrQ("all") + " (*)");
            if (!file.isEmpty())
                ImportFrom(StdStr(file));
        });
    });
}

void TRestBakDialog::ImportFrom(const std::string& fileName)
{
    TSecSettings bak, sync;
    ReadBackupSecSettings(TUnicodeIniFile::CreateForRead(fileName), bak, sync);
    edtBakPrefix->setText(QStr(bak.DirPrefix));
    edtBakSuffix->setText(QStr(bak.FileSuffix));
    edtSyncPrefix->setText(QStr(sync.DirPrefix));
    edtSyncSuffix->setText(QStr(sync.FileSuffix));
}

bool TRestBakDialog::Execute(TAction AAction, const std::string& ATitle, TSecSettings& BakSec,
                             TSecSettings& SyncSec, const std::string& BuTask)
{
    setWindowTitle(QStr(ATitle));
    BuJobName = BuTask;
    const char* hints[] = {"Specify the same settings used for the backup to be restored.",
                           "Specify the same settings used for the backup to be verified.",
                           "Specify the same settings used for the backup to be cleaned up."};
    laHint->setText(TrQ(hints[AAction]));
    for (QWidget* w : FGroups)
        w->setVisible(AAction != taVerify);
    rgBakDir[(BakSec.Selection & Bit(ssDirs)) ? 1 : 0]->setChecked(true);
    rgBakFile[(BakSec.Selection & Bit(ssFiles)) ? 1 : 0]->setChecked(true);
    rgSyncDir[(SyncSec.Selection & Bit(ssDirs)) ? 1 : 0]->setChecked(true);
    rgSyncFile[(SyncSec.Selection & Bit(ssFiles)) ? 1 : 0]->setChecked(true);
    edtBakPrefix->setText(QStr(BakSec.DirPrefix));
    edtBakSuffix->setText(QStr(BakSec.FileSuffix));
    edtSyncPrefix->setText(QStr(SyncSec.DirPrefix));
    edtSyncSuffix->setText(QStr(SyncSec.FileSuffix));
    if (exec() != QDialog::Accepted)
        return false;
    auto selection = [](QRadioButton** dirs, QRadioButton** files) {
        return static_cast<TSecSelections>((dirs[1]->isChecked() ? Bit(ssDirs) : 0) |
                                           (files[1]->isChecked() ? Bit(ssFiles) : 0));
    };
    BakSec.Selection = selection(rgBakDir, rgBakFile);
    SyncSec.Selection = selection(rgSyncDir, rgSyncFile);
    BakSec.DirPrefix = StdStr(edtBakPrefix->text());
    BakSec.FileSuffix = StdStr(edtBakSuffix->text());
    SyncSec.DirPrefix = StdStr(edtSyncPrefix->text());
    SyncSec.FileSuffix = StdStr(edtSyncSuffix->text());
    return true;
}

bool ShowRestBakDialog(TAction AAction, const std::string& ATitle, TSecSettings& BakSec,
                       TSecSettings& SyncSec, const std::string& BuTask)
{
    if (!GuiAvailable())
        return false;
    TRestBakDialog dlg;
    return dlg.Execute(AAction, ATitle, BakSec, SyncSec, BuTask);
}
