#include "backup/gui/AddProgramsDlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QStandardPaths>
#include <QVBoxLayout>
#include <algorithm>
#include <memory>

#include "foundation/BuConsts.h"
#include "foundation/WinShell.h"
#include "foundation/gui/CheckBoxes.h"
#include "foundation/gui/EditHistListDlg.h"
#include "foundation/gui/HListBoxWidgets.h"
#include "foundation/gui/NumberEd.h"
#include "foundation/gui/PhDlg.h"
#include "foundation/gui/WinUtils.h"

namespace {
// Executables on this system carry no extension; scripts and desktop entries do.
constexpr const char* ProgramFilter =
    "Programs|*|Shell scripts|*.sh;*.bash|Python scripts|*.py|Desktop entries|*.desktop|all|*.*";

QString QtFilters(const std::string& filter)
{
    const QStringList parts = QStr(filter).split(QLatin1Char('|'));
    QStringList result;
    for (int i = 0; i + 1 < parts.size(); i += 2)
        result << parts[i] + QStringLiteral(" (") +
                      QString(parts[i + 1]).replace(QLatin1Char(';'), QLatin1Char(' ')) + QStringLiteral(")");
    return result.join(QStringLiteral(";;"));
}

// The program of a command line: its first item, quotes honoured.
std::string ProgramOf(const std::string& command)
{
    const std::vector<std::string> args = SplitArguments(command);
    if (args.empty())
        return {};
    std::string prog = args.front();
    if (prog.find('/') == std::string::npos) {
        const QString found = QStandardPaths::findExecutable(QStr(prog));
        if (!found.isEmpty())
            prog = StdStr(found);
    }
    return prog;
}

std::string QuoteIfBlank(const std::string& s)
{
    return s.find(' ') != std::string::npos ? "\"" + s + "\"" : s;
}
} // namespace

TAddProgramsDialog::TAddProgramsDialog(QWidget* parent) : TTaskDialogBase("qv-options.html#ext", parent)
{
    setObjectName(QStringLiteral("AddProgramsDialog"));
    setWindowTitle(TrQ("External programs"));
    Pre = MakeSide(true);
    Post = MakeSide(false);

    // The exit code of the program before the backup.
    reErrorLevel = NewRangeEdit(Pre.Group, "reErrorLevel", epMinErrorLevel, epMaxErrorLevel, 1);
    auto* preExit = new QHBoxLayout;
    auto* errLabel =
        new QLabel(TrQ("Cancel backup if returned errorcode is equal to or greater than"), Pre.Group);
    errLabel->setBuddy(reErrorLevel);
    preExit->addWidget(errLabel);
    preExit->addWidget(reErrorLevel);
    preExit->addStretch(1);
    static_cast<QVBoxLayout*>(Pre.Group->layout())->addLayout(preExit);

    // Exit code and conditions of the program after the backup.
    cbPostErrorLevel = new QCheckBox(TrQ("Ignore returned errorcode"), Post.Group);
    cbPostErrorLevel->setObjectName(QStringLiteral("cbPostErrorLevel"));
    auto* notRun = new QLabel(TrQ("Do not run this program if "), Post.Group);
    cbCancel = new QCheckBox(TrQ("backup was canceled by user"), Post.Group);
    cbCancel->setObjectName(QStringLiteral("cbCancel"));
    cbError = new QCheckBox(TrQ("backup had errors"), Post.Group);
    cbError->setObjectName(QStringLiteral("cbError"));
    cbIdle = new QCheckBox(TrQ("no files had to be backed up"), Post.Group);
    cbIdle->setObjectName(QStringLiteral("cbIdle"));
    auto* postLayout = static_cast<QVBoxLayout*>(Post.Group->layout());
    postLayout->addWidget(cbPostErrorLevel);
    auto* conditions = new QGridLayout;
    conditions->addWidget(notRun, 0, 0);
    conditions->addWidget(cbCancel, 0, 1);
    conditions->addWidget(cbError, 1, 1);
    conditions->addWidget(cbIdle, 2, 1);
    conditions->setColumnStretch(2, 1);
    postLayout->addLayout(conditions);

    cbEncrypt = new QCheckBox(TrQ("Encrypt command lines in saved task"), this);
    cbEncrypt->setObjectName(QStringLiteral("cbEncrypt"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Pre.Group);
    layout->addWidget(Post.Group);
    layout->addWidget(cbEncrypt);
    AddOkCancel(this, layout);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

TAddProgramsDialog::TSide TAddProgramsDialog::MakeSide(bool pre)
{
    TSide s{};
    const QString p = pre ? QStringLiteral("Pre") : QStringLiteral("Post");
    s.Group = new TCheckGroupBox(this);
    s.Group->setObjectName(QStringLiteral("gb") + p);
    s.Group->setTitle(pre ? TrQ("Execute before backup:") : TrQ("Execute after backup:"));
    s.Command = new QLineEdit(s.Group);
    s.Command->setObjectName(QStringLiteral("ed") + p + QStringLiteral("Command"));
    s.Command->setMinimumWidth(420);
    s.Command->setToolTip(TrQ("Command line"));
    s.ChooseBtn = new QPushButton(QStringLiteral("..."), s.Group);
    s.ChooseBtn->setObjectName(p + QStringLiteral("CommandBtn"));
    s.ChooseBtn->setToolTip(TrQ("Select program"));
    s.ChooseBtn->setAutoDefault(false);
    s.PhBtn = new QPushButton(QStringLiteral("%"), s.Group);
    s.PhBtn->setObjectName(QStringLiteral("Ph") + p + QStringLiteral("Btn"));
    s.PhBtn->setToolTip(TrQ("Insert placeholder"));
    s.PhBtn->setAutoDefault(false);
    for (QPushButton* b : {s.ChooseBtn, s.PhBtn})
        b->setFixedWidth(std::max(32, b->fontMetrics().horizontalAdvance(b->text()) + 16));
    s.History = new QComboBox(s.Group);
    s.History->setObjectName(QStringLiteral("ed") + p + QStringLiteral("CmdList"));
    s.History->setMaxVisibleItems(pre ? PreCommandHistoryLength : PostCommandHistoryLength);
    s.History->setToolTip(TrQ("Recently used commands"));
    s.History->setContextMenuPolicy(Qt::CustomContextMenu);
    s.History->setMinimumWidth(420);
    s.WaitEnd = new QRadioButton(TrQ("Wait until program terminates"), s.Group);
    s.WaitEnd->setObjectName(QStringLiteral("rb") + p + QStringLiteral("Wp"));
    s.WaitTime = new QRadioButton(TrQ("Do not wait more than"), s.Group);
    s.WaitTime->setObjectName(QStringLiteral("rb") + p + QStringLiteral("Wt"));
    s.TimeOut =
        NewRangeEdit(s.Group, pre ? "rePreTm" : "rePostTm", epMinTimeOut, epMaxTimeOut, epDefaultTimeOut);
    s.Ignore = new QCheckBox(TrQ("Ignore timeout"), s.Group);
    s.Ignore->setObjectName(QStringLiteral("cb") + p + QStringLiteral("Ignore"));
    s.Admin = new QCheckBox(TrQ("Prompt to run as administrator"), s.Group);
    s.Admin->setObjectName(QStringLiteral("cb") + p + QStringLiteral("Admin"));
    s.Console = new QCheckBox(TrQ("Show console output if available"), s.Group);
    s.Console->setObjectName(QStringLiteral("cb") + p + QStringLiteral("Console"));

    auto* cmdRow = new QHBoxLayout;
    cmdRow->addWidget(s.Command, 1);
    cmdRow->addWidget(s.ChooseBtn);
    cmdRow->addWidget(s.PhBtn);
    auto* histRow = new QHBoxLayout;
    auto* histLabel = new QLabel(TrQ("Recent:"), s.Group);
    histLabel->setBuddy(s.History);
    histRow->addWidget(histLabel);
    histRow->addWidget(s.History, 1);
    auto* waitRow = new QHBoxLayout;
    waitRow->addWidget(s.WaitEnd);
    waitRow->addSpacing(12);
    waitRow->addWidget(s.WaitTime);
    waitRow->addWidget(s.TimeOut);
    waitRow->addWidget(new QLabel(TrQ("s"), s.Group));
    waitRow->addSpacing(12);
    waitRow->addWidget(s.Ignore);
    waitRow->addStretch(1);
    auto* optRow = new QHBoxLayout;
    optRow->addWidget(s.Admin);
    optRow->addSpacing(12);
    optRow->addWidget(s.Console);
    optRow->addStretch(1);
    auto* box = new QVBoxLayout(s.Group);
    box->addLayout(cmdRow);
    box->addLayout(histRow);
    box->addLayout(waitRow);
    box->addLayout(optRow);

    connect(s.Command, &QLineEdit::textChanged, this,
            [this, pre] { GuardSlot([this, pre] { CommandChanged(pre ? Pre : Post); }); });
    connect(s.Group, &QGroupBox::toggled, this, [this, pre](bool on) {
        if (on)
            GuardSlot([this, pre] { CommandChanged(pre ? Pre : Post); });
    });
    connect(s.WaitTime, &QRadioButton::toggled, this,
            [this, pre] { GuardSlot([this, pre] { UpdateWaitControls(pre ? Pre : Post); }); });
    connect(s.History, &QComboBox::activated, this,
            [this, pre](int index) { GuardSlot([this, pre, index] { HistoryChosen(pre, index); }); });
    connect(s.ChooseBtn, &QPushButton::clicked, this,
            [this, pre] { GuardSlot([this, pre] { ChooseProgram(pre); }); });
    connect(s.PhBtn, &QPushButton::clicked, this,
            [this, pre] { GuardSlot([this, pre] { InsertPlaceholder(pre); }); });
    QComboBox* combo = s.History;
    connect(combo, &QComboBox::customContextMenuRequested, this, [this, combo](const QPoint& at) {
        GuardSlot([&] {
            QMenu menu(this);
            QAction* edit = menu.addAction(TrQ("Edit list ..."));
            menu.addAction(TrQ("Cancel"));
            if (menu.exec(combo->mapToGlobal(at)) == edit)
                EditHistory(combo);
        });
    });
    return s;
}

TAddProgramsDialog::~TAddProgramsDialog()
{
    if (FIniName.empty())
        return;
    GuardSlot([this] {
        SaveHistoryCombo(FIniName, "PreCommands", true, Pre.History, PreCommandHistoryLength, true);
        SaveHistoryCombo(FIniName, "PostCommands", true, Post.History, PostCommandHistoryLength, true);
    });
}

void TAddProgramsDialog::Init(const std::string& AIniName)
{
    if (!FIniName.empty() || AIniName.empty())
        return;
    FIniName = AIniName;
    LoadHistoryCombo(FIniName, "PreCommands", Pre.History, PreCommandHistoryLength, true);
    LoadHistoryCombo(FIniName, "PostCommands", Post.History, PostCommandHistoryLength, true);
    Pre.History->setCurrentIndex(-1);
    Post.History->setCurrentIndex(-1);
}

void TAddProgramsDialog::EditHistory(QComboBox* combo)
{
    TStringList list = ComboItems(combo);
    if (DeleteHistoryEntries(GetBottomLeftPos(combo), _("Edit list ..."), StdStr(StoredHint(combo)), list)) {
        SetComboItems(combo, list);
        combo->setCurrentIndex(-1);
    }
}

void TAddProgramsDialog::UpdateWaitControls(TSide& side)
{
    side.TimeOut->setEnabled(side.WaitTime->isChecked());
}

void TAddProgramsDialog::CommandChanged(TSide& side)
{
    const std::string prog = ProgramOf(StdStr(side.Command->text()));
    side.Console->setChecked(!prog.empty() && IsConsoleApp(prog));
}

void TAddProgramsDialog::HistoryChosen(bool pre, int index)
{
    TSide& side = pre ? Pre : Post;
    if (index < 0)
        return;
    const std::string entry = StdStr(side.History->itemText(index));
    side.Command->setText(QStr(pre ? PreCommandFromHistory(entry) : PostCommandFromHistory(entry)));
    side.History->setCurrentIndex(-1);
}

TAddProgramsDialog::TChooserStart TAddProgramsDialog::ChooserStart(bool pre) const
{
    TChooserStart start;
    start.Title = pre ? _("Select program to be executed before backup")
                      : _("Select program to be executed after backup");
    const std::string command = StdStr((pre ? Pre : Post).Command->text());
    std::string prog;
    bool withName = false;
    if (!command.empty()) {
        // The first blank-separated item without quotes.
        std::string first = command.substr(0, command.find(' '));
        first.erase(std::remove(first.begin(), first.end(), '"'), first.end());
        prog = first;
        withName = true;
    } else if (!pre && !Pre.Command->text().isEmpty()) {
        const std::string before = StdStr(Pre.Command->text());
        if (before.front() == '"') {
            const size_t end = before.find('"', 1);
            prog = before.substr(1, end == std::string::npos ? std::string::npos : end - 1);
        } else
            prog = before.substr(0, before.find(' '));
    }
    if (prog.empty()) {
        start.Dir = FPath;
        start.FilterIndex = 1;
        return start;
    }
    const QFileInfo info(QStr(prog));
    start.Dir = StdStr(info.path());
    if (withName)
        start.FileName = StdStr(info.fileName());
    const std::string ext = StdStr(info.suffix());
    start.FilterIndex =
        ext.empty() ? GetFilterIndex(ProgramFilter, "*.*") : GetFilterIndex(ProgramFilter, "*." + ext);
    return start;
}

void TAddProgramsDialog::ChooseProgram(bool pre)
{
    TSide& side = pre ? Pre : Post;
    const TChooserStart start = ChooserStart(pre);
    QFileDialog chooser(this, QStr(start.Title), QStr(start.Dir));
    chooser.setObjectName(QStringLiteral("OpenDialog"));
    chooser.setOption(QFileDialog::DontUseNativeDialog, true);
    chooser.setOption(QFileDialog::DontResolveSymlinks, true);
    chooser.setFileMode(QFileDialog::ExistingFile);
    const QStringList filters = QtFilters(ProgramFilter).split(QStringLiteral(";;"));
    chooser.setNameFilters(filters);
    if (start.FilterIndex >= 1 && start.FilterIndex <= filters.size())
        chooser.selectNameFilter(filters[start.FilterIndex - 1]);
    if (!start.FileName.empty())
        chooser.selectFile(QStr(start.FileName));
    if (chooser.exec() != QDialog::Accepted || chooser.selectedFiles().isEmpty())
        return;
    side.Command->setText(QStr(QuoteIfBlank(StdStr(chooser.selectedFiles().first()))));
    CommandChanged(side);
}

void TAddProgramsDialog::InsertPlaceholder(bool pre)
{
    TSide& side = pre ? Pre : Post;
    const std::string ph = SelectPlaceholder(GetBottomRightPos(side.PhBtn), pre ? ptPreEx : ptPostEx, "");
    if (ph.empty())
        return;
    side.Command->insert(QStr(ph));
    side.Command->setFocus();
}

void TAddProgramsDialog::FillSide(TSide& side, const TExternalProg& prog)
{
    side.Command->setText(QStr(prog.Command));
    side.Group->setChecked((prog.Wait & epActive) != 0);
    side.Ignore->setChecked((prog.Wait & epIgnoreTimeOut) != 0);
    side.Admin->setChecked((prog.Wait & epRunAsAdmin) != 0);
    side.Console->setChecked((prog.Wait & epShowConsole) != 0);
    const int timeOut = prog.Wait & epTimeOutMask;
    if (timeOut != 0) {
        side.WaitTime->setChecked(true);
        side.TimeOut->SetValue(timeOut);
    } else
        side.WaitEnd->setChecked(true);
    UpdateWaitControls(side);
}

int TAddProgramsDialog::SideWait(const TSide& side) const
{
    int wait = side.WaitEnd->isChecked() ? 0 : static_cast<int>(side.TimeOut->Value()) & epTimeOutMask;
    if (side.Group->isChecked())
        wait |= epActive;
    if (side.Ignore->isChecked())
        wait |= epIgnoreTimeOut;
    if (side.Admin->isChecked())
        wait |= epRunAsAdmin;
    if (side.Console->isChecked())
        wait |= epShowConsole;
    return wait;
}

bool TAddProgramsDialog::Execute(const std::string& APath, TExternalProg& PreCmd, TExternalProg& PostCmd,
                                 int& Encrypt)
{
    FPath = APath;
    FillSide(Pre, PreCmd);
    FillSide(Post, PostCmd);
    // The stored console choice wins over the guess from the command.
    Pre.Console->setChecked((PreCmd.Wait & epShowConsole) != 0);
    Post.Console->setChecked((PostCmd.Wait & epShowConsole) != 0);
    reErrorLevel->SetValue(PreCmd.ErrorLevel);
    cbCancel->setChecked((PostCmd.ErrorLevel & epNotIfCanceled) != 0);
    cbError->setChecked((PostCmd.ErrorLevel & epNotIfErrors) != 0);
    cbIdle->setChecked((PostCmd.ErrorLevel & epNotIfIdle) != 0);
    cbPostErrorLevel->setChecked((PostCmd.ErrorLevel & epIgnoreExitCode) != 0);
    cbEncrypt->setVisible(Encrypt >= 0);
    cbEncrypt->setChecked(Encrypt > 0);
    PlaceDialog(this, DefaultFormPos);
    if (exec() != QDialog::Accepted)
        return false;

    for (TSide* side : {&Pre, &Post}) {
        TExternalProg& prog = side == &Pre ? PreCmd : PostCmd;
        prog.Command = StdStr(side->Command->text());
        if (!prog.Command.empty())
            AddToHistoryCombo(side->History, CommandForHistory(prog.Command));
        side->History->setCurrentIndex(-1);
        if (prog.Command.empty())
            side->Group->setChecked(false);
        prog.Wait = SideWait(*side);
    }
    PreCmd.ErrorLevel = static_cast<int>(reErrorLevel->Value());
    PostCmd.ErrorLevel =
        (cbCancel->isChecked() ? epNotIfCanceled : 0) | (cbError->isChecked() ? epNotIfErrors : 0) |
        (cbIdle->isChecked() ? epNotIfIdle : 0) | (cbPostErrorLevel->isChecked() ? epIgnoreExitCode : 0);
    if (!cbEncrypt->isHidden())
        Encrypt = cbEncrypt->isChecked() ? 1 : 0;
    return true;
}

void TAddProgramsDialog::accept()
{
    bool ok = true;
    GuardSlot([&] {
        for (TRangeEdit* e : {Pre.TimeOut, Post.TimeOut, reErrorLevel})
            if (e->isEnabled() && e->parentWidget()->isEnabled() && !e->CheckRange()) {
                ok = false;
                return;
            }
    });
    if (ok)
        QDialog::accept();
}

bool EditExternalPrograms(const std::string& APath, TExternalProg& PreCmd, TExternalProg& PostCmd,
                          int& Encrypt)
{
    if (!GuiAvailable())
        return false;
    auto dlg = std::make_unique<TAddProgramsDialog>();
    dlg->Init(SettingsFile);
    return dlg->Execute(APath, PreCmd, PostCmd, Encrypt);
}
