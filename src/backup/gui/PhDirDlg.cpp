#include "backup/gui/PhDirDlg.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <memory>

#include "foundation/BuConsts.h"
#include "foundation/PathUtils.h"
#include "foundation/PlaceHolders.h"
#include "foundation/gui/PhDlg.h"
#include "foundation/gui/ShellDirDlg.h"
#include "foundation/gui/WinUtils.h"

TPhDirDialog::TPhDirDialog(QWidget* parent) : TTaskDialogBase("", parent)
{
    setObjectName(QStringLiteral("PhDirDialog"));
    setWindowTitle(TrQ("Select directory to be backed up"));
    laHint = new QLabel(this);
    laHint->setObjectName(QStringLiteral("laHint"));
    laHint->setWordWrap(true);
    edFolder = new QLineEdit(this);
    edFolder->setObjectName(QStringLiteral("edFolder"));
    edFolder->setMinimumWidth(380);
    edFolder->setToolTip(TrQ("Directory to be backed up"));
    bbPlaceholder = new QPushButton(TrQ("Insert placeholder"), this);
    bbPlaceholder->setObjectName(QStringLiteral("bbPlaceholder"));
    bbPlaceholder->setToolTip(TrQ("Insert placeholder"));
    bbPlaceholder->setAutoDefault(false);
    bbDirMode = new QPushButton(TrQ("Select directory"), this);
    bbDirMode->setObjectName(QStringLiteral("bbDirMode"));
    bbDirMode->setToolTip(TrQ("Select directory"));
    bbDirMode->setAutoDefault(false);
    auto* label = new QLabel(TrQ("Directory to be backed up"), this);
    label->setBuddy(edFolder);
    auto* row = new QHBoxLayout;
    row->addWidget(edFolder, 1);
    row->addWidget(bbPlaceholder);
    row->addWidget(bbDirMode);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(laHint);
    layout->addWidget(label);
    layout->addLayout(row);
    AddOkCancel(this, layout);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    connect(bbDirMode, &QPushButton::clicked, this, [this] { GuardSlot([this] { SelectDirClick(); }); });
    connect(bbPlaceholder, &QPushButton::clicked, this,
            [this] { GuardSlot([this] { PlaceholderClick(); }); });
}

void TPhDirDialog::SelectDirClick()
{
    const std::string typed = ExpandPathPlaceholders(StdStr(edFolder->text()));
    std::string dir = GetExistingDir(typed, "");
    if (dir.empty())
        dir = PersonalDir;
    if (SelectFolder(_("Select directory to be backed up"), true, true, "", dir)) {
        QString chosen = QStr(dir);
        while (chosen.size() > 1 && chosen.endsWith(QLatin1Char('/')))
            chosen.chop(1);
        edFolder->setText(chosen);
    }
}

void TPhDirDialog::PlaceholderClick()
{
    const std::string ph = SelectPlaceholder(GetBottomRightPos(bbPlaceholder), ptPath, "");
    if (!ph.empty()) {
        edFolder->insert(QStr(ph));
        edFolder->setFocus();
    }
}

bool TPhDirDialog::Execute(const QPoint& APos, const std::string& ACaption, std::string& Dir)
{
    edFolder->setText(QStr(Dir));
    laHint->setText(QStr(ACaption));
    laHint->setVisible(!ACaption.empty());
    PlaceDialog(this, APos);
    if (exec() != QDialog::Accepted)
        return false;
    Dir = StdStr(edFolder->text());
    return true;
}

bool ShowPhDirDialog(const QPoint& APos, const std::string& ACaption, std::string& Dir)
{
    if (!GuiAvailable())
        return false;
    auto dlg = std::make_unique<TPhDirDialog>();
    return dlg->Execute(APos, ACaption, Dir);
}
