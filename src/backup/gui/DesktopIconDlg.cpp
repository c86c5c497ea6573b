#include "backup/gui/DesktopIconDlg.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>
#include <charconv>
#include <memory>

#include "backup/gui/ErrorActionDlg.h"
#include "foundation/BuConsts.h"
#include "foundation/PathUtils.h"
#include "foundation/QvUtilsFolders.h"
#include "foundation/QvUtilsTexts.h"
#include "foundation/StringUtils.h"
#include "foundation/gui/ShowMessageDlg.h"
#include "foundation/gui/WinUtils.h"
#include "rtl/StringList.h"

namespace {
TErrorActionDialogFunc& ErrorActionDialog()
{
    static TErrorActionDialogFunc func = ShowErrorActionDialog;
    return func;
}

// Status window choices, in the order of their radio buttons, with their option values.
const char* const StatusCaptions[5] = {"Not visible", "Close automatically", "Always wait for prompt",
                                       "Wait for prompt only on errors", "Show only on errors"};
const char* const StatusWords[5] = {"quiet", "delay", "wait", "error", "silent"};
// The order in which an incoming value is tested, and the button it selects.
const char* const PromptTestOrder[5] = {"quiet", "wait", "error", "delay", "silent"};
const int PromptTestButton[5] = {0, 2, 3, 1, 4};

const char* const ActionNames[8] = {"rbNone",    "rbStandby",  "rbHibernate", "rbLogoff",
                                    "rbRestart", "rbShutdown", "rbLockDown",  "rbHybridDown"};
const char* const ActionCaptions[8] = {"None",    "Sleep",    "Hibernate",         "Logoff",
                                       "Restart", "Shutdown", "Lock and shutdown", "Hybrid shutdown"};
// The option of each action (empty for none) and its value.
const char* const ActionOption[8] = {"", "suspend", "suspend", "end", "end", "end", "end", "end"};
const char* const ActionWord[8] = {"",        "standby",  "hibernate", "logoff",
                                   "restart", "shutdown", "lockdown",  "hybrid"};

// The option name of an option text (" /name:value" or " /name"), lower case.
std::string OptionName(std::string option)
{
    option = std::string(utf8::Trim(option));
    if (!option.empty() && option[0] == '"')
        option.erase(0, 1);
    if (!option.empty() && (option[0] == '/' || option[0] == '-'))
        option.erase(0, 1);
    return utf8::Lower(option.substr(0, option.find_first_of(":\"")));
}
// A whole decimal integer.
bool TryStrToInt(std::string_view text, int& value)
{
    int v = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (ec != std::errc() || end != text.data() + text.size() || text.empty())
        return false;
    value = v;
    return true;
}
} // namespace

void SetErrorActionDialog(TErrorActionDialogFunc func)
{
    ErrorActionDialog() = func ? std::move(func) : TErrorActionDialogFunc(ShowErrorActionDialog);
}

TDesktopIconDialog::TDesktopIconDialog(QWidget* parent) : TDialogBase(parent)
{
    setObjectName(QStringLiteral("DesktopIconDialog"));
    setWindowTitle(TrQ("Desktop shortcut"));
    auto* layout = new QVBoxLayout(this);
    auto* grid = new QGridLayout;
    auto addEdit = [&](int row, const char* name, const char* caption) {
        auto* label = new QLabel(TrQ(caption), this);
        auto* edit = new QLineEdit(this);
        edit->setObjectName(QString::fromLatin1(name));
        label->setBuddy(edit);
        grid->addWidget(label, row, 0);
        return edit;
    };
    edShortcut = addEdit(0, "edShortcut", "Name of desktop shortcut:");
    grid->addWidget(edShortcut, 0, 1, 1, 2);
    edDescription = addEdit(1, "edDescription", "Description:");
    grid->addWidget(edDescription, 1, 1, 1, 2);
    edTasks = addEdit(2, "edTasks", "Tasks to be executed:");
    edTasks->setReadOnly(true);
    grid->addWidget(edTasks, 2, 1);
    btAutoTask = new QPushButton(TrQ("Select automatic task"), this);
    btAutoTask->setObjectName(QStringLiteral("btAutoTask"));
    btAutoTask->setAutoDefault(false);
    grid->addWidget(btAutoTask, 2, 2);
    grid->setColumnStretch(1, 1);
    layout->addLayout(grid);
    cbAutoTask = new QMenu(this);
    cbAutoTask->setObjectName(QStringLiteral("cbAutoTask"));

    auto* middle = new QHBoxLayout;
    rgStatus = new QGroupBox(TrQ("Status window"), this);
    rgStatus->setObjectName(QStringLiteral("rgStatus"));
    auto* statusLayout = new QVBoxLayout(rgStatus);
    StatusButtons = new QButtonGroup(rgStatus);
    for (int i = 0; i < 5; ++i) {
        auto* rb = new QRadioButton(TrQ(StatusCaptions[i]), rgStatus);
        rb->setObjectName(QStringLiteral("rgStatus%1").arg(i));
        StatusButtons->addButton(rb, i);
        statusLayout->addWidget(rb);
    }
    statusLayout->addStretch(1);
    auto* left = new QVBoxLayout;
    left->addWidget(rgStatus);
    cbSplash = new QCheckBox(TrQ("No splash screen"), this);
    cbSplash->setObjectName(QStringLiteral("cbSplash"));
    cbRunAs = new QCheckBox(TrQ("Run as administrator"), this);
    cbRunAs->setObjectName(QStringLiteral("cbRunAs"));
    cbParallel = new QCheckBox(TrQ("Parallel processing of tasks"), this);
    cbParallel->setObjectName(QStringLiteral("cbParallel"));
    left->addWidget(cbSplash);
    left->addWidget(cbRunAs);
    left->addWidget(cbParallel);
    left->addStretch(1);
    middle->addLayout(left, 1);

    gbAction = new QGroupBox(TrQ("Action after backup"), this);
    gbAction->setObjectName(QStringLiteral("gbAction"));
    auto* actionLayout = new QGridLayout(gbAction);
    ActionButtons = new QButtonGroup(gbAction);
    for (int i = 0; i < 8; ++i) {
        auto* rb = new QRadioButton(TrQ(ActionCaptions[i]), gbAction);
        rb->setObjectName(QString::fromLatin1(ActionNames[i]));
        ActionButtons->addButton(rb, i);
        actionLayout->addWidget(rb, i % 4, i / 4);
    }
    cbAction = new QCheckBox(TrQ("Action changeable by user"), gbAction);
    cbAction->setObjectName(QStringLiteral("cbAction"));
    actionLayout->addWidget(cbAction, 4, 0, 1, 2);
    bbErrorAction = new QPushButton(TrQ("Action handling on errors"), gbAction);
    bbErrorAction->setObjectName(QStringLiteral("bbErrorAction"));
    bbErrorAction->setAutoDefault(false);
    actionLayout->addWidget(bbErrorAction, 5, 0, 1, 2);
    middle->addWidget(gbAction, 1);
    layout->addLayout(middle);
    layout->addStretch(1);
    AddOkCancel(this, layout);

    connect(btAutoTask, &QPushButton::clicked, this, [this] {
        GuardSlot([this] {
            cbAutoTask->setActiveAction(nullptr);
            AutoTaskChosen(cbAutoTask->exec(GetBottomLeftPos(edTasks)));
        });
    });
    connect(ActionButtons, &QButtonGroup::idClicked, this,
            [this](int) { GuardSlot([this] { ActionChanged(); }); });
    connect(cbParallel, &QCheckBox::toggled, this,
            [this](bool) { GuardSlot([this] { ParallelChanged(); }); });
    connect(bbErrorAction, &QPushButton::clicked, this, [this] {
        GuardSlot([this] {
            auto& dialog = ErrorActionDialog();
            if (!dialog || ActionButtons->checkedId() <= saNone)
                return;
            int mask = ActErr;
            if (dialog(GetBottomRightPos(bbErrorAction), FAct, mask))
                ActErr = mask;
        });
    });
    resize(ScaleToFormDpi(560, this), sizeHint().height());
    SetStaticTabStops(this, ScreenReaderActive);
}

QString TDesktopIconDialog::FocusedHint() const
{
    QWidget* w = focusWidget();
    QString hint = ControlHint(w);
    if (hint.isEmpty())
        if (auto* edit = qobject_cast<QLineEdit*>(w))
            for (QLabel* label : findChildren<QLabel*>())
                if (label->buddy() == edit)
                    hint = label->text();
    return hint;
}

void TDesktopIconDialog::accept()
{
    bool ok = false;
    GuardSlot([&] {
        const std::string name(utf8::Trim(StdStr(edShortcut->text())));
        ok = !name.empty() && IsValidFileName(name);
        if (!ok) {
            ErrorDialog(_("Invalid name of desktop shortcut!"));
            edShortcut->setFocus();
        }
    });
    if (ok)
        QDialog::accept();
}

bool TDesktopIconDialog::Execute(const std::string& ACaption, const std::string& ATasks,
                                 const std::string& AAutoTasks, std::string& Shortcut,
                                 std::string& Description, std::string& Options, int& RunAsStat,
                                 int& AutoTask)
{
    setWindowTitle(QStr(ACaption));
    edShortcut->setText(QStr(Shortcut));
    edDescription->setText(QStr(Description));
    FTask = ATasks;
    FDesc = Description;

    int count = 0;
    const std::string lines = SplitToLines(ATasks, ' ', '"', count);
    if (count > 1) {
        FTaskText = SafeFormat(_("%u selected tasks"), {count});
        FTaskHint = lines;
    } else {
        FTaskText = ATasks;
        FTaskHint.clear();
    }
    edTasks->setText(QStr(FTaskText));
    edTasks->setToolTip(QStr(FTaskHint));
    btAutoTask->setVisible(count <= 1 && !AAutoTasks.empty());
    cbParallel->setVisible(count > 1);

    cbAutoTask->clear();
    TStringList items;
    items.Add(_("Automatic backups") + ":");
    items.Add("0: " + _("All automatic tasks started by request"));
    TStringList slotItems;
    slotItems.SetCommaText(AAutoTasks);
    for (int i = 0; i < slotItems.Count(); ++i)
        items.Add(slotItems[i]);
    items.Add(_("None"));
    for (int i = 0; i < items.Count(); ++i) {
        QAction* a = cbAutoTask->addAction(QStr(items[i]));
        a->setData(i == 0 ? -1 : i == items.Count() - 1 ? -2 : i);
        if (i == 0) {
            QFont f = a->font();
            f.setBold(true);
            a->setFont(f);
        }
    }

    AutoTaskNr = -1;
    ActErr = 0;
    FAct.clear();
    StatusButtons->button(1)->setChecked(true);
    ActionButtons->button(saNone)->setChecked(true);
    cbSplash->setChecked(true);
    cbAction->setChecked(true);
    cbAction->setVisible(true);
    cbParallel->setChecked(false);
    cbRunAs->setVisible(RunAsStat >= 0);
    cbRunAs->setChecked(false);
    bbErrorAction->setEnabled(false);
    bbErrorAction->setVisible(static_cast<bool>(ErrorActionDialog()));
    bbErrorAction->setToolTip(QString());

    ReadOptions(Options);
    PlaceFormAt(this, DefaultFormPos);
    if (exec() != QDialog::Accepted)
        return false;
    Shortcut = std::string(utf8::Trim(StdStr(edShortcut->text())));
    Description = StdStr(edDescription->text());
    AutoTask = AutoTaskNr;
    Options = BuildOptions();
    if (cbRunAs->isVisibleTo(this))
        RunAsStat = cbRunAs->isChecked() ? 1 : 0;
    return true;
}

void TDesktopIconDialog::ReadOptions(const std::string& options)
{
    FOpt.clear();
    std::string rest = options;
    while (!utf8::Trim(rest).empty()) {
        std::string item = ReadNextQuotedItem(rest, ' ', '"');
        if (item.empty() || (item[0] != '/' && item[0] != '-'))
            continue;
        item.erase(0, 1);
        std::string value = item;
        if (ReadKeywordValue(value, "end")) {
            for (int a = saLogoff; a <= saHybridDown; ++a)
                if (MatchesKeyword(value, ActionWord[a])) {
                    SelectAction(a);
                    break;
                }
        } else if (value = item; ReadKeywordValue(value, "suspend")) {
            if (MatchesKeyword(value, "standby"))
                SelectAction(saStandby);
            else if (MatchesKeyword(value, "hibernate"))
                SelectAction(saHibernate);
        } else if (value = item; ReadKeywordValue(value, "prompt")) {
            for (int i = 0; i < 5; ++i)
                if (MatchesKeyword(value, PromptTestOrder[i])) {
                    StatusButtons->button(PromptTestButton[i])->setChecked(true);
                    break;
                }
        } else if (MatchesKeyword(item, "hide")) {
            cbSplash->setChecked(true);
        } else {
            // Options the dialog does not show travel on unchanged (quoted again when they hold a blank).
            const std::string option = "/" + item;
            FOpt += option.find(' ') == std::string::npos ? " " + option : " \"" + option + "\"";
        }
    }
}

void TDesktopIconDialog::SelectAction(int action)
{
    ActionButtons->button(action)->setChecked(true);
    ActionChanged();
}

void TDesktopIconDialog::ActionChanged()
{
    const int action = ActionButtons->checkedId();
    if (action > saNone) {
        bbErrorAction->setEnabled(true);
        FAct = StdStr(ActionButtons->button(action)->text().remove(QLatin1Char('&')));
        bbErrorAction->setToolTip(QStr(SafeFormat(_("Disable %s on errors"), {FAct})));
    } else {
        bbErrorAction->setEnabled(false);
    }
}

void TDesktopIconDialog::ParallelChanged()
{
    cbAction->setVisible(!cbParallel->isChecked() && AutoTaskNr < 0);
}

void TDesktopIconDialog::AutoTaskChosen(QAction* item)
{
    const int kind = item ? item->data().toInt() : -1;
    if (kind <= 0) {
        // The header, "None" or no choice: back to the given tasks.
        AutoTaskNr = -1;
        edTasks->setText(QStr(FTaskText));
        edTasks->setToolTip(QStr(FTaskHint));
        edDescription->setText(QStr(FDesc));
        cbAction->setVisible(!cbParallel->isChecked());
        return;
    }
    const std::string text = StdStr(item->text());
    const size_t colon = text.find(':');
    int n = 1;
    if (colon != std::string::npos && !TryStrToInt(utf8::Trim(text.substr(0, colon)), n))
        n = 1;
    AutoTaskNr = n;
    const std::string rest = colon == std::string::npos ? text : text.substr(colon + 1);
    std::string shown;
    if (n != 0)
        shown = SafeFormat(_("Automatic backup %u: "), {n}) + std::string(utf8::Trim(rest));
    else
        shown = _("Automatic backups") + ":" + rest;
    edTasks->setText(QStr(shown));
    edTasks->setToolTip(QString());
    edDescription->setText(QStr(shown));
    cbAction->setVisible(false);
}

std::string TDesktopIconDialog::BuildOptions() const
{
    std::string result;
    const int status = std::max(0, StatusButtons->checkedId());
    result += CmdOption("prompt", StatusWords[status]);
    const bool parallel = cbParallel->isVisibleTo(this) && cbParallel->isChecked();
    if (parallel)
        result += CmdSwitch("parallel");
    if (cbSplash->isChecked())
        result += CmdSwitch("hide");
    if (!cbAction->isChecked() && !parallel)
        result += CmdSwitch("noaction");
    const int action = ActionButtons->checkedId();
    if (action > saNone)
        result += CmdOption(ActionOption[action], ActionWord[action]);
    if (ActErr > 0)
        result += CmdOptionInt("erractions", ActErr);
    // The options that were not shown follow, except those the controls have just written.
    std::string rest = FOpt;
    while (!utf8::Trim(rest).empty()) {
        std::string item = ReadNextQuotedItem(rest, ' ', '"');
        if (item.empty())
            continue;
        const std::string name = OptionName(item);
        const bool written = (name == "parallel" && parallel) ||
                             (name == "noaction" && result.find(" /noaction") != std::string::npos) ||
                             (name == "erractions" && ActErr > 0);
        if (!written)
            result += item.find(' ') == std::string::npos ? " " + item : " \"" + item + "\"";
    }
    return result;
}

bool ShowDesktopIconDialogFull(const std::string& ACaption, const std::string& ATasks,
                               const std::string& AAutoTasks, std::string& Shortcut, std::string& Description,
                               std::string& Options, int& RunAsStat, int& AutoTask)
{
    auto dlg = std::make_unique<TDesktopIconDialog>();
    return dlg->Execute(ACaption, ATasks, AAutoTasks, Shortcut, Description, Options, RunAsStat, AutoTask);
}

bool ShowDesktopIconDialog(const std::string& ACaption, const std::string& ATasks,
                           const std::string& AAutoTasks, std::string& Shortcut, std::string& Description,
                           std::string& Options, bool& RunAs, int& AutoTask)
{
    int runAs = RunAs ? 1 : 0;
    const bool ok = ShowDesktopIconDialogFull(ACaption, ATasks, AAutoTasks, Shortcut, Description, Options,
                                              runAs, AutoTask);
    if (ok)
        RunAs = runAs != 0;
    return ok;
}
