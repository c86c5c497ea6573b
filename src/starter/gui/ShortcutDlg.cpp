#include "starter/gui/ShortcutDlg.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "foundation/PathUtils.h"
#include "foundation/gui/ShowMessageDlg.h"
#include "rtl/Gettext.h"
#include "rtl/SysUtils.h"

namespace {

const char* const ActionCaptions[] = {N_("None"),   N_("Prompt"),   N_("Standby"), N_("Hibernate"),
                                      N_("Logoff"), N_("Shutdown"), N_("Restart")};

} // namespace

TShortcutDialog::TShortcutDialog(std::string ASettingsDir, QWidget* parent)
    : TDialogBase(parent), FSettingsDir(std::move(ASettingsDir))
{
    setObjectName(QStringLiteral("ShortcutDialog"));
    auto* top = new QVBoxLayout(this);
    top->addWidget(new QLabel(TrQ("Select backup groups"), this));
    lbConfigs = new QListWidget(this);
    lbConfigs->setObjectName(QStringLiteral("lbConfigs"));
    lbConfigs->setSelectionMode(QAbstractItemView::MultiSelection);
    lbConfigs->setMinimumSize(320, 100);
    top->addWidget(lbConfigs);
    edNameLabel = new QLabel(this);
    edName = new QLineEdit(this);
    edName->setObjectName(QStringLiteral("edName"));
    edNameLabel->setBuddy(edName);
    top->addWidget(edNameLabel);
    top->addWidget(edName);

    auto* box = new QGroupBox(TrQ("Action after backups"), this);
    box->setObjectName(QStringLiteral("rgAction"));
    auto* grid = new QGridLayout(box);
    rgAction = new QButtonGroup(box);
    for (int i = 0; i <= saRestartAction; ++i) {
        auto* b = new QRadioButton(TrQ(ActionCaptions[i]), box);
        b->setObjectName(QStringLiteral("rgAction%1").arg(i));
        rgAction->addButton(b, i);
        grid->addWidget(b, i % 4, i / 4);
    }
    top->addWidget(box);
    cbTerm = new QCheckBox(TrQ("Terminate all running programs before starting backups"), this);
    cbTerm->setObjectName(QStringLiteral("cbTerm"));
    cbWritelog = new QCheckBox(TrQ("Write log file"), this);
    cbWritelog->setObjectName(QStringLiteral("cbWritelog"));
    cbLockScreen = new QCheckBox(TrQ("Lock screen during backup"), this);
    cbLockScreen->setObjectName(QStringLiteral("cbLockScreen"));
    top->addWidget(cbTerm);
    top->addWidget(cbWritelog);
    top->addWidget(cbLockScreen);
    top->addWidget(new QLabel(TrQ("Path for settings and log:"), this));
    lbIniPath = new QLabel(this);
    lbIniPath->setObjectName(QStringLiteral("lbIniPath"));
    top->addWidget(lbIniPath);
    OKBtn = AddOkCancel(this, top).OK;
    connect(rgAction, &QButtonGroup::idClicked, this, [this] { ActionChanged(); });
}

void TShortcutDialog::ActionChanged()
{
    const bool on = rgAction->checkedId() > saPrompt;
    cbTerm->setEnabled(on);
    if (!on)
        cbTerm->setChecked(false);
}

bool TShortcutDialog::Execute(const std::string& ATitle, const std::string& ACaption, bool AShowLock,
                              const std::vector<std::string>& ConfigList, std::string& AName,
                              std::string& CmdLine, const std::string& APrompt)
{
    setWindowTitle(QStr(ATitle));
    OKBtn->setText(APrompt.empty() ? TrQ("OK") : QStr(APrompt));
    edNameLabel->setText(QStr(ACaption));
    edName->setText(QStr(AName));
    lbConfigs->clear();
    for (const std::string& g : ConfigList)
        lbConfigs->addItem(QStr(g));
    cbLockScreen->setVisible(AShowLock);
    FChoices = ReadShortcutCommandLine(CmdLine, AShowLock);
    for (const std::string& g : FChoices.Groups)
        for (auto* item : lbConfigs->findItems(QStr(g), Qt::MatchExactly))
            item->setSelected(true);
    rgAction->button(FChoices.Action)->setChecked(true);
    cbTerm->setChecked(FChoices.Terminate);
    cbWritelog->setChecked(FChoices.WriteLog);
    cbLockScreen->setChecked(FChoices.LockScreen);
    const std::string path = FChoices.IniPath.empty() ? FSettingsDir : FChoices.IniPath;
    lbIniPath->setText(fontMetrics().elidedText(QStr(path), Qt::ElideMiddle, lbConfigs->minimumWidth()));
    lbIniPath->setToolTip(QStr(path));
    cbTerm->setEnabled(FChoices.Action > saPrompt);
    if (exec() != QDialog::Accepted)
        return false;
    std::vector<std::string> groups;
    for (int i = 0; i < lbConfigs->count(); ++i)
        if (lbConfigs->item(i)->isSelected())
            groups.push_back(StdStr(lbConfigs->item(i)->text()));
    FChoices.Action = rgAction->checkedId();
    FChoices.Terminate = cbTerm->isChecked();
    FChoices.WriteLog = cbWritelog->isChecked();
    FChoices.LockScreen = AShowLock && cbLockScreen->isChecked();
    AName = StdStr(edName->text());
    CmdLine = BuildShortcutCommandLine(groups, FChoices);
    return true;
}

void TShortcutDialog::accept()
{
    if (lbConfigs->selectedItems().isEmpty()) {
        ErrorDialog(_("Please select at least one backup group!"));
        lbConfigs->setFocus();
        return;
    }
    const std::string name = StdStr(edName->text());
    if (name.empty()) {
        ErrorDialog(_("Please specify a name for this task!"));
        edName->setFocus();
        return;
    }
    if (!IsValidFileName(name)) {
        ErrorDialog(SafeFormat(_("\"%s\" contains invalid characters (%s)!"), {name, "* ? < > : \" / \\ |"}));
        edName->setFocus();
        return;
    }
    QDialog::accept();
}
