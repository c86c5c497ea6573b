#include "backup/gui/Wizard.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDateTime>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QTimeEdit>
#include <QVBoxLayout>
#include <sys/stat.h>

#include "backup/BuFtpDlg.h"
#include "backup/gui/BuFtpDlg.h"
#include "foundation/BuConsts.h"
#include "foundation/InitProg.h"
#include "foundation/PathUtils.h"
#include "foundation/QvUtilsFolders.h"
#include "foundation/QvUtilsNames.h"
#include "foundation/QvUtilsTexts.h"
#include "foundation/StringUtils.h"
#include "foundation/gui/GuiUtils.h"
#include "foundation/gui/NewPwdDlg.h"
#include "foundation/gui/PhDlg.h"
#include "foundation/gui/ShellDirDlg.h"
#include "foundation/gui/ShowMessageDlg.h"
#include "foundation/gui/WinUtils.h"
#include "platform/XdgDirs.h"
#include "rtl/Gettext.h"
#include "rtl/StringList.h"
#include "rtl/SysUtils.h"

namespace {

enum TWizardPage
{
    wpStart,
    wpDestination,
    wpSources,
    wpMethod,
    wpSchedule
};

bool IsDir(const std::string& path)
{
    struct stat st
    {
    };
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

QPushButton* Button(QWidget* parent, const char* name)
{
    auto* b = new QPushButton(parent);
    b->setObjectName(QString::fromLatin1(name));
    return b;
}

template <typename T> T* Named(QWidget* parent, const char* name)
{
    auto* w = new T(parent);
    w->setObjectName(QString::fromLatin1(name));
    return w;
}

} // namespace

std::vector<TWizardDialog::TUserFolder> TWizardDialog::UserFolders()
{
    const std::string home = AddPathDelimiter(HomeDir());
    auto xdg = [&](const char* kind) {
        const std::string dir = XdgUserDir(kind);
        // a user folder that falls back to the home folder is not there
        return dir.empty() || AddPathDelimiter(dir) == home ? std::string() : dir;
    };
    auto below = [&](const char* sub) { return IsDir(home + sub) ? home + sub : std::string(); };
    return {
        {_("Documents"), xdg("DOCUMENTS")},
        {_("Application Data"), XdgConfigHome()},
        {_("Music"), xdg("MUSIC")},
        {_("Pictures"), xdg("PICTURES")},
        {_("Videos"), xdg("VIDEOS")},
        {_("Desktop"), xdg("DESKTOP")},
        {_("Downloads"), xdg("DOWNLOAD")},
        {_("Saved Games"), below(".local/share/games")},
        {_("Templates"), xdg("TEMPLATES")},
        {_("Public"), xdg("PUBLICSHARE")},
        {_("Fonts"), below(".local/share/fonts")},
        {_("Mail"), below("Mail")},
    };
}

TWizardDialog::TWizardDialog(TWizardServices services, QWidget* parent)
    : QDialog(parent), FServices(std::move(services))
{
    setObjectName(QStringLiteral("WizardDialog"));
    setWindowTitle(TrQ("Backup wizard"));
    CreateControls();
}

void TWizardDialog::CreateControls()
{
    auto* layout = new QVBoxLayout(this);
    auto* title = Named<QLabel>(this, "laTitle");
    QFont bold = title->font();
    bold.setBold(true);
    bold.setPointSizeF(bold.pointSizeF() * 1.2);
    title->setFont(bold);
    title->setText(QStr(GetProgNameVersion(3)) + QStringLiteral(" - ") + TrQ("Backup wizard"));
    layout->addWidget(title);
    pcWizard = Named<QStackedWidget>(this, "pcWizard");
    layout->addWidget(pcWizard, 1);

    auto heading = [](QWidget* page, QVBoxLayout* l, const QString& text) {
        auto* h = new QLabel(text, page);
        QFont f = h->font();
        f.setBold(true);
        h->setFont(f);
        h->setWordWrap(true);
        l->addWidget(h);
    };

    // 1 start
    auto* start = Named<QWidget>(pcWizard, "tsStart");
    auto* startLayout = new QVBoxLayout(start);
    heading(start, startLayout, TrQ("Welcome to the backup wizard"));
    auto* intro = Named<QLabel>(start, "laIntro");
    intro->setWordWrap(true);
    intro->setText(TrQ("The wizard asks where to back up, what to back up, how and when, and saves a new "
                       "backup task.\n\nChoose \"Configure task\" to set up the task in the editor "
                       "yourself."));
    startLayout->addWidget(intro);
    startLayout->addStretch(1);
    auto* startButtons = new QHBoxLayout;
    btnStart = Button(start, "btnStart");
    btnStart->setText(TrQ("Start wizard"));
    btnConfigure = Button(start, "btnConfigure");
    btnConfigure->setText(TrQ("Configure task"));
    startButtons->addWidget(btnStart);
    startButtons->addWidget(btnConfigure);
    startButtons->addStretch(1);
    startLayout->addLayout(startButtons);
    pcWizard->addWidget(start);

    // 2 destination
    auto* dest = Named<QWidget>(pcWizard, "tsDestination");
    auto* destLayout = new QVBoxLayout(dest);
    heading(dest, destLayout, TrQ("Backup destination"));
    rbLocal = Named<QRadioButton>(dest, "rbLocal");
    rbLocal->setText(TrQ("Local drive or network"));
    destLayout->addWidget(rbLocal);
    auto* localRow = new QHBoxLayout;
    edTargetDir = Named<QLineEdit>(dest, "edTargetDir");
    btnTargetDir = Button(dest, "btnTargetDir");
    btnTargetDir->setText(TrQ("Select ..."));
    btnTargetDir->setToolTip(TrQ("Select destination directory"));
    btnPlaceholder = Button(dest, "btnPlaceholder");
    btnPlaceholder->setText(TrQ("Placeholder"));
    btnPlaceholder->setToolTip(TrQ("Insert placeholder for date and time"));
    btnVolume = Button(dest, "btnVolume");
    btnVolume->setText(TrQ("Volume name"));
    btnVolume->setToolTip(TrQ("Use volume name instead of drive letter"));
    localRow->addWidget(edTargetDir, 1);
    localRow->addWidget(btnTargetDir);
    localRow->addWidget(btnPlaceholder);
    localRow->addWidget(btnVolume);
    destLayout->addLayout(localRow);
    rbFtp = Named<QRadioButton>(dest, "rbFtp");
    rbFtp->setText(TrQ("FTP server"));
    destLayout->addWidget(rbFtp);
    auto* ftpRow = new QHBoxLayout;
    edFtp = Named<QLineEdit>(dest, "edFtp");
    edFtp->setReadOnly(true);
    btnFtpSettings = Button(dest, "btnFtpSettings");
    btnFtpSettings->setText(TrQ("FTP connection"));
    ftpRow->addWidget(edFtp, 1);
    ftpRow->addWidget(btnFtpSettings);
    destLayout->addLayout(ftpRow);
    destLayout->addStretch(1);
    pcWizard->addWidget(dest);

    // 3 sources
    auto* src = Named<QWidget>(pcWizard, "tsSources");
    auto* srcLayout = new QVBoxLayout(src);
    heading(src, srcLayout, TrQ("Directories to be backed up"));
    lbDirs = Named<QListWidget>(src, "lbDirs");
    lbDirs->setSelectionMode(QAbstractItemView::ExtendedSelection);
    srcLayout->addWidget(lbDirs, 1);
    auto* srcButtons = new QHBoxLayout;
    btnAddDir = Button(src, "btnAddDir");
    btnAddDir->setText(TrQ("Select and add another directory"));
    btnRemove = Button(src, "btnRemove");
    btnRemove->setText(TrQ("Remove"));
    srcButtons->addWidget(btnAddDir);
    srcButtons->addWidget(btnRemove);
    srcButtons->addStretch(1);
    srcLayout->addLayout(srcButtons);
    auto* userBox = Named<QGroupBox>(src, "gbUserFolders");
    userBox->setTitle(TrQ("User directories"));
    auto* grid = new QGridLayout(userBox);
    const auto folders = UserFolders();
    for (size_t i = 0; i < folders.size(); ++i) {
        auto* box = new QCheckBox(QStr(folders[i].Caption), userBox);
        box->setObjectName(QStringLiteral("cbFolder%1").arg(i));
        box->setToolTip(QStr(folders[i].Folder));
        box->setChecked(i < 5);
        cbFolders.push_back(box);
        grid->addWidget(box, static_cast<int>(i % 6), static_cast<int>(i / 6));
    }
    btnAddUser = Button(userBox, "btnAddUser");
    btnAddUser->setText(TrQ("Add selected user directories"));
    grid->addWidget(btnAddUser, 6, 0, 1, 2, Qt::AlignLeft);
    srcLayout->addWidget(userBox);
    pcWizard->addWidget(src);

    // 4 method
    auto* method = Named<QWidget>(pcWizard, "tsMethod");
    auto* methodLayout = new QVBoxLayout(method);
    heading(method, methodLayout, TrQ("Backup method"));
    rbFiles = Named<QRadioButton>(method, "rbFiles");
    rbFiles->setText(TrQ("As separate files"));
    methodLayout->addWidget(rbFiles);
    auto* filesGrid = new QGridLayout;
    filesGrid->setContentsMargins(20, 0, 0, 0);
    cbFileMethod = Named<QComboBox>(method, "cbFileMethod");
    cbFileMethod->addItems({TrQ("Separate directories for drives (recommended)"),
                            TrQ("Full original directory structure"), TrQ("One directory without full path"),
                            TrQ("Separated by root directory")});
    cbProcessing = Named<QComboBox>(method, "cbProcessing");
    cbProcessing->addItems({TrQ("Copy without compression"), TrQ("Compress as gz"), TrQ("Compress as zip")});
    filesGrid->addWidget(new QLabel(TrQ("Method:"), method), 0, 0);
    filesGrid->addWidget(cbFileMethod, 0, 1);
    filesGrid->addWidget(new QLabel(TrQ("File processing:"), method), 1, 0);
    filesGrid->addWidget(cbProcessing, 1, 1);
    filesGrid->setColumnStretch(1, 1);
    methodLayout->addLayout(filesGrid);
    rbZip = Named<QRadioButton>(method, "rbZip");
    rbZip->setText(TrQ("Into zip archive(s)"));
    methodLayout->addWidget(rbZip);
    auto* zipGrid = new QGridLayout;
    zipGrid->setContentsMargins(20, 0, 0, 0);
    cbZipMethod = Named<QComboBox>(method, "cbZipMethod");
    cbZipMethod->addItems({TrQ("All files into one zip archive"), TrQ("Separated by drive and subdirectory"),
                           TrQ("Separated by root directory"), TrQ("Separated by subdirectory")});
    edZipName = Named<QLineEdit>(method, "edZipName");
    btnZipPh = Button(method, "btnZipPh");
    btnZipPh->setText(TrQ("Placeholder"));
    zipGrid->addWidget(new QLabel(TrQ("Method:"), method), 0, 0);
    zipGrid->addWidget(cbZipMethod, 0, 1, 1, 2);
    zipGrid->addWidget(new QLabel(TrQ("Name of zip archive:"), method), 1, 0);
    zipGrid->addWidget(edZipName, 1, 1);
    zipGrid->addWidget(btnZipPh, 1, 2);
    zipGrid->setColumnStretch(1, 1);
    methodLayout->addLayout(zipGrid);
    cbVerify = Named<QCheckBox>(method, "cbVerify");
    cbVerify->setText(TrQ("Verify files after backup"));
    cbEncrypt = Named<QCheckBox>(method, "cbEncrypt");
    cbEncrypt->setText(TrQ("Encrypt files"));
    methodLayout->addWidget(cbVerify);
    methodLayout->addWidget(cbEncrypt);
    methodLayout->addStretch(1);
    pcWizard->addWidget(method);

    // 5 schedule
    auto* sched = Named<QWidget>(pcWizard, "tsSchedule");
    auto* schedLayout = new QVBoxLayout(sched);
    heading(sched, schedLayout, TrQ("Start this task automatically"));
    rbNoSchedule = Named<QRadioButton>(sched, "rbNoSchedule");
    rbNoSchedule->setText(TrQ("No"));
    rbSchedule = Named<QRadioButton>(sched, "rbSchedule");
    rbSchedule->setText(TrQ("Using following time schedule"));
    schedLayout->addWidget(rbNoSchedule);
    schedLayout->addWidget(rbSchedule);
    auto* schedGrid = new QGridLayout;
    schedGrid->setContentsMargins(20, 0, 0, 0);
    cbStartKind = Named<QComboBox>(sched, "cbStartKind");
    cbStartKind->addItems({TrQ("Never"), TrQ("Always on logon"), TrQ("Daily on logon"),
                           TrQ("Daily at selected time"), TrQ("Always on logoff"), TrQ("On first logon"),
                           TrQ("On first logoff"), TrQ("By request")});
    laTime = Named<QLabel>(sched, "laTime");
    teTime = Named<QTimeEdit>(sched, "teTime");
    teTime->setDisplayFormat(QStringLiteral("HH:mm"));
    schedGrid->addWidget(new QLabel(TrQ("Start:"), sched), 0, 0);
    schedGrid->addWidget(cbStartKind, 0, 1);
    schedGrid->addWidget(laTime, 1, 0);
    schedGrid->addWidget(teTime, 1, 1, Qt::AlignLeft);
    auto* days = new QHBoxLayout;
    const char* const dayNames[7] = {N_("Mon"), N_("Tue"), N_("Wed"), N_("Thu"),
                                     N_("Fri"), N_("Sat"), N_("Sun")};
    for (int i = 0; i < 7; ++i) {
        auto* box = new QCheckBox(TrQ(dayNames[i]), sched);
        box->setObjectName(QStringLiteral("cbDay%1").arg(i));
        cbDays.push_back(box);
        days->addWidget(box);
    }
    days->addStretch(1);
    schedGrid->addLayout(days, 2, 0, 1, 2);
    cbResume = Named<QCheckBox>(sched, "cbResume");
    cbResume->setText(TrQ("Run on next logon if scheduled start was missed"));
    schedGrid->addWidget(cbResume, 3, 0, 1, 2);
    schedGrid->setColumnStretch(1, 1);
    schedLayout->addLayout(schedGrid);
    if (!FServices.FreeAutoTask) {
        auto* note = Named<QLabel>(sched, "laNoSchedule");
        note->setWordWrap(true);
        note->setText(TrQ("Automatic backups are not available in this version."));
        schedLayout->addWidget(note);
    }
    schedLayout->addStretch(1);
    pcWizard->addWidget(sched);

    auto* nav = new QHBoxLayout;
    nav->addStretch(1);
    btnBack = Button(this, "btnBack");
    btnBack->setText(TrQ("< Back"));
    btnNext = Button(this, "btnNext");
    btnNext->setText(TrQ("Next >"));
    btnDone = Button(this, "btnDone");
    btnDone->setText(TrQ("Done"));
    btnCancel = Button(this, "btnCancel");
    btnCancel->setText(TrQ("Cancel"));
    for (QPushButton* b : {btnBack, btnNext, btnDone, btnCancel})
        nav->addWidget(b);
    layout->addLayout(nav);

    auto guard = [this](void (TWizardDialog::*fn)()) {
        return [this, fn] { GuardSlot([this, fn] { (this->*fn)(); }); };
    };
    connect(btnStart, &QPushButton::clicked, this,
            [this] { GuardSlot([this] { ShowPage(wpDestination); }); });
    connect(btnConfigure, &QPushButton::clicked, this, [this] { done(mrNo); });
    connect(btnCancel, &QPushButton::clicked, this, [this] { done(mrCancel); });
    connect(btnBack, &QPushButton::clicked, this,
            [this] { GuardSlot([this] { ShowPage(std::max(0, pcWizard->currentIndex() - 1)); }); });
    connect(btnNext, &QPushButton::clicked, this, guard(&TWizardDialog::NextClick));
    connect(btnDone, &QPushButton::clicked, this, guard(&TWizardDialog::DoneClick));
    connect(btnTargetDir, &QPushButton::clicked, this, guard(&TWizardDialog::ChooseTarget));
    connect(btnPlaceholder, &QPushButton::clicked, this, guard(&TWizardDialog::InsertPlaceholder));
    connect(btnVolume, &QPushButton::clicked, this, guard(&TWizardDialog::SwitchVolume));
    connect(rbFtp, &QRadioButton::clicked, this, [this] { GuardSlot([this] { FtpChoice(true); }); });
    connect(rbLocal, &QRadioButton::clicked, this, [this] { GuardSlot([this] { FtpChoice(false); }); });
    connect(btnFtpSettings, &QPushButton::clicked, this, [this] {
        GuardSlot([this] {
            rbFtp->setChecked(true);
            TFtpParams params = FtpPar;
            if (ShowFtpDialog(params, true, 0)) {
                FtpPar = params;
                edFtp->setText(QStr(GetFtpUrl(FtpPar)));
            }
        });
    });
    connect(btnAddDir, &QPushButton::clicked, this, guard(&TWizardDialog::AddDirectory));
    connect(btnAddUser, &QPushButton::clicked, this, guard(&TWizardDialog::AddUserFolders));
    connect(btnRemove, &QPushButton::clicked, this, guard(&TWizardDialog::RemoveDirectories));
    for (QRadioButton* r : {rbFiles, rbZip})
        connect(r, &QRadioButton::toggled, this, guard(&TWizardDialog::UpdateMethodControls));
    connect(cbZipMethod, &QComboBox::currentIndexChanged, this, guard(&TWizardDialog::UpdateMethodControls));
    connect(btnZipPh, &QPushButton::clicked, this, [this] {
        GuardSlot([this] {
            const std::string ph = SelectPlaceholder(GetBottomRightPos(btnZipPh), ptTime, "");
            if (!ph.empty())
                edZipName->insert(QStr(ph));
        });
    });
    connect(rbSchedule, &QRadioButton::clicked, this,
            [this] { GuardSlot([this] { ScheduleChoice(true); }); });
    connect(rbNoSchedule, &QRadioButton::clicked, this,
            [this] { GuardSlot([this] { ScheduleChoice(false); }); });
    connect(cbStartKind, &QComboBox::currentIndexChanged, this, guard(&TWizardDialog::StartKindChanged));
    resize(ScaleToFormDpi(620, this), ScaleToFormDpi(480, this));
}

bool TWizardDialog::AskFolder(const std::string& title, const std::string& start, std::string& folder)
{
    if (FServices.ChooseFolder)
        return FServices.ChooseFolder(title, start, folder);
    std::string dir = start;
    if (!SelectFolder(title, false, false, start, dir))
        return false;
    folder = dir;
    return true;
}

int TWizardDialog::Execute(TBackupTask& BuTa)
{
    FTask = &BuTa;
    BuTa.NewTaskName.clear();
    LastPath.clear();
    Pwd.clear();
    (BuTa.FtpTarget ? rbFtp : rbLocal)->setChecked(true);
    edTargetDir->setText(QStr(BuTa.TargetDir));
    FtpPar = BuTa.FtpSettings;
    FtpPar.Directory = "Backup";
    edFtp->setText(FtpPar.Host.empty() ? QString() : QStr(GetFtpUrl(FtpPar)));
    lbDirs->clear();
    for (size_t i = 0; i < cbFolders.size(); ++i)
        cbFolders[i]->setChecked(i < 5);
    rbFiles->setChecked(true);
    cbFileMethod->setCurrentIndex(0);
    const int compMode = ProgSettings.CopySettings.CompMode;
    cbProcessing->setCurrentIndex(compMode == 0 ? 0 : compMode == 2 ? 1 : 2);
    cbZipMethod->setCurrentIndex(0);
    edZipName->clear();
    rbNoSchedule->setChecked(true);
    rbSchedule->setEnabled(static_cast<bool>(FServices.FreeAutoTask));
    cbStartKind->setCurrentIndex(asNone);
    AtNr = -1;
    teTime->setTime(QTime::currentTime());
    for (QCheckBox* day : cbDays)
        day->setChecked(true);
    ScheduleChoice(false);
    UpdateMethodControls();
    ShowPage(wpStart);
    return exec();
}

void TWizardDialog::ShowPage(int page)
{
    pcWizard->setCurrentIndex(page);
    btnBack->setVisible(page > wpStart);
    btnBack->setEnabled(page > wpDestination);
    btnNext->setVisible(page > wpStart && page < wpSchedule);
    btnDone->setVisible(page == wpSchedule);
    if (page == wpDestination && rbLocal->isChecked() && edTargetDir->text().trimmed().isEmpty() &&
        isVisible())
        ChooseTarget();
    if (page == wpSchedule)
        cbStartKind->setEnabled(rbSchedule->isChecked());
}

std::vector<std::string> TWizardDialog::Dirs() const
{
    std::vector<std::string> dirs;
    for (int i = 0; i < lbDirs->count(); ++i)
        dirs.push_back(StdStr(lbDirs->item(i)->text()));
    return dirs;
}

void TWizardDialog::NextClick()
{
    const bool ftp = rbFtp->isChecked();
    const std::string target = StdStr(ftp ? edFtp->text() : edTargetDir->text());
    switch (pcWizard->currentIndex()) {
    case wpDestination: {
        const std::string problem = WizardDestinationProblem(target);
        if (!problem.empty()) {
            ErrorDialog(problem);
            return;
        }
        if (WizardDestinationIsRoot(target, ftp, FtpPar) &&
            !ConfirmDialog(
                _("Root folder selected as backup destination!\r\nThis can result in loss of data in "
                  "certain circumstances.\r\nA new, empty folder is recommended for the "
                  "backup.\r\nContinue anyway?")))
            return;
        ShowPage(wpSources);
        return;
    }
    case wpSources: {
        const std::string problem = WizardSourcesProblem(Dirs(), target, ftp);
        if (!problem.empty()) {
            ErrorDialog(problem);
            return;
        }
        ShowPage(wpMethod);
        return;
    }
    case wpMethod: {
        const bool zip = rbZip->isChecked();
        bool fallBack = false;
        const std::string problem = WizardMethodProblem(
            Dirs(), target, ftp, zip, zip ? cbZipMethod->currentIndex() : cbFileMethod->currentIndex(),
            StdStr(edZipName->text()), fallBack);
        if (!problem.empty()) {
            ErrorDialog(problem);
            if (fallBack)
                (zip ? cbZipMethod : cbFileMethod)->setCurrentIndex(zip ? 1 : 0);
            return;
        }
        ShowPage(wpSchedule);
        if (cbEncrypt->isChecked()) {
            std::string pwd;
            Pwd = AskNewPasswordAnsi(_("File encryption"), pwd, true, false,
                                     ProgSettings.OtherSettings.MinPwdLength)
                      ? pwd
                      : std::string();
        }
        return;
    }
    default:
        return;
    }
}

void TWizardDialog::DoneClick()
{
    std::string name = FTask ? FTask->NewTaskName : std::string();
    if (!FServices.SelectSaveName || !FServices.SelectSaveName(name) || name.empty())
        return; // the wizard stays open
    TBackupTask& t = *FTask;
    t.NewTaskName = name;
    t.FtpTarget = rbFtp->isChecked();
    t.TargetDir = StdStr(edTargetDir->text());
    if (t.FtpTarget)
        t.FtpSettings = FtpPar;
    TStringList list;
    for (const auto& dir : Dirs())
        list.Add(dir);
    t.DirList = list.CommaText();
    const bool zip = rbZip->isChecked();
    t.Options = 0;
    if (!zip && cbProcessing->currentIndex() == 1)
        t.Options |= BackupOption(boGzComp);
    if (!zip && cbProcessing->currentIndex() == 2)
        t.Options |= BackupOption(boZipComp);
    if (cbVerify->isChecked())
        t.Options |= BackupOption(boVerify);
    if (cbEncrypt->isChecked())
        t.Options |= BackupOption(boEncrypt);
    t.TargetMode = WizardTargetMode(zip, zip ? cbZipMethod->currentIndex() : cbFileMethod->currentIndex());
    t.EncPwd = Pwd;
    t.ZipName = zip && t.TargetMode != 5 ? StdStr(edZipName->text()) : std::string();
    t.AutoNr = AtNr;
    t.AutoMode = static_cast<TAutoStart>(cbStartKind->currentIndex());
    const QTime time = teTime->time();
    t.AutoTime = (time.hour() * 60 + time.minute()) / 1440.0;
    t.AutoDays = 0;
    for (size_t i = 0; i < cbDays.size(); ++i)
        if (cbDays[i]->isChecked())
            t.AutoDays |= 1u << i;
    t.Resume = cbResume->isVisible() && cbResume->isChecked();
    done(mrYes);
}

void TWizardDialog::ChooseTarget()
{
    std::string path = StdStr(edTargetDir->text());
    const size_t ph = path.find('%');
    if (ph != std::string::npos)
        path = GetParentDir(path.substr(0, ph));
    std::string label;
    const bool volume = ResolveVolumeName(path, label, true) == 1;
    const std::string start = GetExistingDir(path, XdgUserDir("DOCUMENTS"));
    std::string folder;
    if (!AskFolder(_("Select destination directory"), start, folder) || folder.empty())
        return;
    folder = WizardChosenDestination(folder);
    if (volume) {
        const std::string named = PathWithVolumeName(folder, label);
        if (!named.empty())
            folder = named;
    }
    edTargetDir->setText(QStr(folder));
    rbLocal->setChecked(true);
}

void TWizardDialog::InsertPlaceholder()
{
    if (edTargetDir->text().trimmed().isEmpty()) {
        ErrorDialog(_("Please select a destination directory for your backup!"));
        ChooseTarget();
        if (edTargetDir->text().trimmed().isEmpty())
            return;
    }
    const std::string ph = SelectPlaceholder(GetBottomRightPos(btnPlaceholder), ptTime, "");
    if (ph.empty())
        return;
    if (edTargetDir->cursorPosition() == 0)
        edTargetDir->end(false);
    edTargetDir->insert(QStr(ph));
}

void TWizardDialog::SwitchVolume()
{
    if (edTargetDir->text().trimmed().isEmpty()) {
        ErrorDialog(_("Please select a destination directory for your backup!"));
        ChooseTarget();
        if (edTargetDir->text().trimmed().isEmpty())
            return;
    }
    const std::string switched = SwitchVolumeName(StdStr(edTargetDir->text()));
    if (!switched.empty())
        edTargetDir->setText(QStr(switched));
}

void TWizardDialog::FtpChoice(bool ftp)
{
    if (!ftp || !edFtp->text().isEmpty())
        return;
    TFtpParams params = FtpPar;
    if (ShowFtpDialog(params, true, 0)) {
        FtpPar = params;
        edFtp->setText(QStr(GetFtpUrl(FtpPar)));
    } else {
        rbLocal->setChecked(true);
    }
}

void TWizardDialog::AddDir(const std::string& dir)
{
    if (lbDirs->findItems(QStr(dir), Qt::MatchExactly).isEmpty())
        lbDirs->addItem(QStr(dir));
}

void TWizardDialog::AddDirectory()
{
    std::string folder;
    if (!AskFolder(_("Select directory to be backed up"),
                   LastPath.empty() ? XdgUserDir("DOCUMENTS") : LastPath, folder) ||
        folder.empty())
        return;
    LastPath = folder;
    AddDir(folder);
}

void TWizardDialog::AddUserFolders()
{
    const auto folders = UserFolders();
    for (size_t i = 0; i < cbFolders.size() && i < folders.size(); ++i) {
        if (!cbFolders[i]->isChecked())
            continue;
        if (!IsDir(folders[i].Folder)) {
            ErrorDialog(SafeFormat(_("Directory for \"%s\" not found!"), {folders[i].Caption}));
            continue;
        }
        AddDir(folders[i].Folder);
    }
}

void TWizardDialog::RemoveDirectories()
{
    const auto selected = lbDirs->selectedItems();
    if (selected.isEmpty() || !ConfirmDialog(_("Remove selected directories from list?")))
        return;
    for (QListWidgetItem* item : selected)
        delete item;
}

void TWizardDialog::UpdateMethodControls()
{
    const bool zip = rbZip->isChecked();
    cbFileMethod->setEnabled(!zip);
    cbProcessing->setEnabled(!zip);
    cbZipMethod->setEnabled(zip);
    btnZipPh->setEnabled(zip);
    const QString rootText = TrQ("<root directory>");
    if (zip && cbZipMethod->currentIndex() == 2) {
        edZipName->setEnabled(false);
        edZipName->setText(rootText);
    } else {
        edZipName->setEnabled(zip);
        if (edZipName->text() == rootText)
            edZipName->clear();
    }
}

void TWizardDialog::ScheduleChoice(bool on)
{
    if (on) {
        AtNr = FServices.FreeAutoTask ? FServices.FreeAutoTask() : -1;
        if (AtNr < 0) {
            ErrorDialog(_("The maximum number of 16 backup schedules is exceeded!"));
            rbNoSchedule->setChecked(true);
            on = false;
        } else {
            cbStartKind->setCurrentIndex(asDailyAt);
        }
    }
    if (!on) {
        cbStartKind->setCurrentIndex(asNone);
        AtNr = -1;
    }
    for (QWidget* w :
         {static_cast<QWidget*>(cbStartKind), static_cast<QWidget*>(teTime), static_cast<QWidget*>(cbResume)})
        w->setEnabled(on);
    for (QCheckBox* day : cbDays)
        day->setEnabled(on);
    StartKindChanged();
}

void TWizardDialog::StartKindChanged()
{
    const int kind = cbStartKind->currentIndex();
    const bool timed = kind == asDailyAt || kind == asLogoff;
    laTime->setVisible(timed);
    teTime->setVisible(timed);
    if (kind == asDailyAt) {
        laTime->setText(TrQ("Start backup at"));
        teTime->setTime(QTime::currentTime());
    } else if (kind == asLogoff) {
        laTime->setText(TrQ("Start backup not before"));
        teTime->setTime(QTime(8, 0));
    }
    const bool days = kind == asDailyAt || kind == asWeekly || kind == asWeekDay || kind == asByRequest;
    for (size_t i = 0; i < cbDays.size(); ++i) {
        cbDays[i]->setVisible(days);
        cbDays[i]->setChecked(kind == asDailyAt || kind == asByRequest || i == 0);
    }
    cbResume->setVisible(days && kind != asByRequest);
    cbResume->setChecked(true);
}

void TWizardDialog::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_F1) {
        OpenHelpTopic("qv-intro.html");
        return;
    }
    if (event->key() == Qt::Key_F11) {
        if (QWidget* w = focusWidget(); w && !ControlHint(w).isEmpty())
            MsgDialog(StdStr(ControlHint(w)), mdtCustom);
        return;
    }
    QDialog::keyPressEvent(event);
}

int ExecuteBackupWizard(TBackupTask& BuTa, TWizardServices services, QWidget* parent)
{
    TWizardDialog dialog(std::move(services), parent);
    return dialog.Execute(BuTa);
}
