#include "backup/gui/LogDlg.h"

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

#include "foundation/BuConsts.h"
#include "foundation/PathUtils.h"
#include "foundation/QvUtilsFolders.h"
#include "foundation/StringUtils.h"
#include "foundation/gui/PhDlg.h"
#include "foundation/gui/WinUtils.h"

TLogDialog::TLogDialog(QWidget* parent) : TTaskDialogBase("qv-log.html", parent)
{
    setObjectName(QStringLiteral("LogDialog"));
    setWindowTitle(TrQ("Settings for log"));
    rgMode = new QGroupBox(TrQ("Mode:"), this);
    rgMode->setObjectName(QStringLiteral("rgMode"));
    const char* levels[] = {"Off", "Short", "Long", "Verbose"};
    auto* modes = new QVBoxLayout(rgMode);
    auto* group = new QButtonGroup(this);
    for (int i = 0; i < 4; ++i) {
        rbLevel[i] = new QRadioButton(TrQ(levels[i]), rgMode);
        rbLevel[i]->setObjectName(QStringLiteral("rgMode%1").arg(i));
        group->addButton(rbLevel[i], i);
        modes->addWidget(rbLevel[i]);
        connect(rbLevel[i], &QRadioButton::toggled, this, [this](bool on) {
            if (on && !FFilling)
                GuardSlot([this] { LevelChanged(); });
        });
    }
    modes->addStretch(1);

    gbOptions = new QGroupBox(TrQ("Options:"), this);
    gbOptions->setObjectName(QStringLiteral("gbOptions"));
    cbWarning = new QCheckBox(TrQ("Show warnings and detailed error messages"), gbOptions);
    cbWarning->setObjectName(QStringLiteral("cbWarning"));
    cbPrint = new QCheckBox(TrQ("Print automatically after action"), gbOptions);
    cbPrint->setObjectName(QStringLiteral("cbPrint"));
    cbErrSummary = new QCheckBox(TrQ("Error summary"), gbOptions);
    cbErrSummary->setObjectName(QStringLiteral("cbErrSummary"));
    auto* options = new QVBoxLayout(gbOptions);
    options->addWidget(cbWarning);
    options->addWidget(cbPrint);
    options->addWidget(cbErrSummary);
    options->addStretch(1);

    gbLogFile = new QGroupBox(TrQ("Log file"), this);
    gbLogFile->setObjectName(QStringLiteral("gbLogFile"));
    rbDefLog = new QRadioButton(TrQ("Use default log file"), gbLogFile);
    rbDefLog->setObjectName(QStringLiteral("rbDefLog"));
    rbTaskLog = new QRadioButton(TrQ("Use following log file for current task"), gbLogFile);
    rbTaskLog->setObjectName(QStringLiteral("rbTaskLog"));
    edLogname = new QLineEdit(gbLogFile);
    edLogname->setObjectName(QStringLiteral("edLogname"));
    edLogname->setToolTip(TrQ("Name of log file"));
    btLogPh = new QPushButton(QStringLiteral("%"), gbLogFile);
    btLogPh->setObjectName(QStringLiteral("btLogPh"));
    btLogPh->setToolTip(TrQ("Insert placeholder"));
    btLogPh->setAutoDefault(false);
    btLogReset = new QPushButton(QStringLiteral("T"), gbLogFile);
    btLogReset->setObjectName(QStringLiteral("btLogReset"));
    btLogReset->setToolTip(TrQ("Set to name of task"));
    btLogReset->setAutoDefault(false);
    for (QPushButton* b : {btLogPh, btLogReset})
        b->setFixedWidth(32);
    cbDelLog = new QCheckBox(TrQ("Delete previous log entries"), gbLogFile);
    cbDelLog->setObjectName(QStringLiteral("cbDelLog"));
    laDirLabel = new QLabel(TrQ("Directory:"), gbLogFile);
    laDirLabel->setObjectName(QStringLiteral("laDirLabel"));
    laLogDir = new QLabel(gbLogFile);
    laLogDir->setObjectName(QStringLiteral("laLogDir"));
    auto* logGroup = new QButtonGroup(this);
    logGroup->addButton(rbDefLog);
    logGroup->addButton(rbTaskLog);
    auto* nameRow = new QHBoxLayout;
    nameRow->setContentsMargins(20, 0, 0, 0);
    nameRow->addWidget(edLogname, 1);
    nameRow->addWidget(btLogPh);
    nameRow->addWidget(btLogReset);
    auto* dirRow = new QHBoxLayout;
    dirRow->addWidget(laDirLabel);
    dirRow->addWidget(laLogDir, 1);
    auto* file = new QVBoxLayout(gbLogFile);
    file->addWidget(rbDefLog);
    file->addWidget(rbTaskLog);
    file->addLayout(nameRow);
    file->addWidget(cbDelLog);
    file->addLayout(dirRow);

    bbPrefs = new QPushButton(TrQ("Set values to global preferences"), this);
    bbPrefs->setObjectName(QStringLiteral("bbPrefs"));
    bbPrefs->setAutoDefault(false);

    auto* upper = new QHBoxLayout;
    upper->addWidget(rgMode);
    upper->addWidget(gbOptions, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(upper);
    layout->addWidget(gbLogFile);
    auto* prefsRow = new QHBoxLayout;
    prefsRow->addWidget(bbPrefs);
    prefsRow->addStretch(1);
    layout->addLayout(prefsRow);
    AddOkCancel(this, layout);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    gbLogFile->setFixedWidth(440);

    connect(cbWarning, &QCheckBox::toggled, this, [this](bool on) {
        if (on && !FFilling && Level() == lmOff)
            GuardSlot([this] { rbLevel[lmShort]->setChecked(true); });
    });
    connect(rbDefLog, &QRadioButton::toggled, this, [this] { GuardSlot([this] { LogChoiceChanged(); }); });
    connect(edLogname, &QLineEdit::textChanged, this, [this] { GuardSlot([this] { ShowDirectory(); }); });
    connect(btLogReset, &QPushButton::clicked, this, [this] { GuardSlot([this] { SetTaskNameClick(); }); });
    connect(btLogPh, &QPushButton::clicked, this, [this] { GuardSlot([this] { PlaceholderClick(); }); });
    connect(bbPrefs, &QPushButton::clicked, this, [this] { GuardSlot([this] { PrefsClick(); }); });
}

int TLogDialog::Level() const
{
    for (int i = 0; i < 4; ++i)
        if (rbLevel[i]->isChecked())
            return i;
    return lmOff;
}

void TLogDialog::ApplyLevel(int level)
{
    gbOptions->setVisible(level > lmOff);
    const bool warning = LogWarningOptionVisible(lk, level);
    cbWarning->setVisible(warning);
    if (!warning)
        cbWarning->setChecked(false);
    cbWarning->setText(level == lmLong ? TrQ("Show skipped files in log")
                                       : TrQ("Show warnings and detailed error messages"));
    const bool summary = LogErrorSummaryVisible(level);
    cbErrSummary->setVisible(summary);
    if (!summary)
        cbErrSummary->setChecked(false);
}

void TLogDialog::LevelChanged()
{
    ApplyLevel(Level());
    cbWarning->setChecked(false);
}

void TLogDialog::ShowDirectory()
{
    const std::string name = StdStr(edLogname->text());
    std::string dir;
    if (rbDefLog->isChecked() || name.empty())
        dir = GetLogDir();
    else if (!utf8::SameText(name.substr(0, 6), "%dest%") && !IsAbsolutePath(name))
        dir = GetLogDir();
    laDirLabel->setVisible(!dir.empty());
    laLogDir->setVisible(!dir.empty());
    const QString full = QStr(dir);
    const QString shown =
        FitTextToWidth(full, laLogDir->font(), gbLogFile->width() - 10 - laDirLabel->sizeHint().width());
    laLogDir->setText(shown);
    laLogDir->setToolTip(shown != full ? full : QString());
}

void TLogDialog::LogChoiceChanged()
{
    if (FFilling)
        return;
    const bool own = rbTaskLog->isChecked();
    if (!own)
        edLogname->clear();
    else if (edLogname->text().isEmpty())
        edLogname->setText(QStr(DefaultTaskLogName(lk)));
    edLogname->setEnabled(own);
    btLogPh->setEnabled(own);
    cbDelLog->setEnabled(own);
    if (!own)
        cbDelLog->setChecked(false);
    ShowDirectory();
}

void TLogDialog::SetTaskNameClick()
{
    edLogname->setText(QStr(DefaultTaskLogName(lk)));
    rbTaskLog->setChecked(true);
    edLogname->setFocus();
}

void TLogDialog::PlaceholderClick()
{
    const std::string ph =
        SelectPlaceholder(GetBottomRightPos(btLogPh), lk == lkBackup ? ptBuLog : ptOtherLog, "");
    if (!ph.empty()) {
        edLogname->insert(QStr(ph));
        edLogname->setFocus();
    }
}

void TLogDialog::PrefsClick()
{
    const int mode = ProgSettings.LogSettings.LogMode;
    Fill(mode, (mode & lmTaskLogName) != 0 ? "%taskname%.log" : "");
}

void TLogDialog::Fill(int LogMode, const std::string& LogName)
{
    FFilling = true;
    const int level = LogMode & lmLevelMask;
    rbLevel[level]->setChecked(true);
    cbPrint->setChecked((LogMode & lmPrint) != 0);
    ApplyLevel(level);
    if (!cbWarning->isHidden())
        cbWarning->setChecked((LogMode & lmWarnings) != 0);
    if (!cbErrSummary->isHidden())
        cbErrSummary->setChecked((LogMode & lmErrorSummary) != 0);
    const bool own = !LogName.empty();
    (own ? rbTaskLog : rbDefLog)->setChecked(true);
    edLogname->setText(QStr(LogName));
    edLogname->setEnabled(own);
    btLogPh->setEnabled(own);
    cbDelLog->setEnabled(own);
    cbDelLog->setChecked(own && (LogMode & lmDeleteLog) != 0);
    FFilling = false;
    ShowDirectory();
}

bool TLogDialog::Execute(const QPoint& APos, TLogKind LogKind, bool FileSelect, int& LogMode,
                         std::string& LogName)
{
    lk = LogKind;
    LogPref = LogKindPrefix(LogKind);
    setWindowTitle(QStr(LogKindCaption(LogKind)));
    gbLogFile->setVisible(FileSelect);
    Fill(LogMode, FileSelect ? LogName : std::string());
    PlaceDialog(this, APos);
    if (exec() != QDialog::Accepted)
        return false;
    int mode = Level();
    if (cbPrint->isChecked())
        mode |= lmPrint;
    if (cbWarning->isChecked())
        mode |= lmWarnings;
    if (cbErrSummary->isChecked())
        mode |= lmErrorSummary;
    if (FileSelect) {
        if (rbDefLog->isChecked() || edLogname->text().trimmed().isEmpty())
            LogName.clear();
        else {
            LogName = NormalizeTaskLogName(StdStr(edLogname->text().trimmed()), GetLogDir());
            if (cbDelLog->isChecked())
                mode |= lmDeleteLog;
        }
    }
    LogMode = mode;
    return true;
}

bool ShowLogDialog(const QPoint& APos, TLogKind LogKind, int& LogMode, std::string& LogName)
{
    if (!GuiAvailable())
        return false;
    auto dlg = std::make_unique<TLogDialog>();
    return dlg->Execute(APos, LogKind, true, LogMode, LogName);
}

bool ShowLogModeDialog(const QPoint& APos, TLogKind LogKind, int& LogMode)
{
    if (!GuiAvailable())
        return false;
    auto dlg = std::make_unique<TLogDialog>();
    std::string name;
    return dlg->Execute(APos, LogKind, false, LogMode, name);
}
