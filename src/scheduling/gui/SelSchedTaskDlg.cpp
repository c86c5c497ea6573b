#include "scheduling/gui/SelSchedTaskDlg.h"

#include <QApplication>
#include <QCheckBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QStyle>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <memory>

#include "foundation/StringUtils.h"
#include "rtl/Gettext.h"

namespace {

constexpr int PositionRole = Qt::UserRole;
constexpr int SortRole = Qt::UserRole + 1;
constexpr int ResultRole = Qt::UserRole + 2;

class TTaskItem : public QTreeWidgetItem
{
public:
    using QTreeWidgetItem::QTreeWidgetItem;
    bool operator<(const QTreeWidgetItem& other) const override
    {
        int col = treeWidget() ? treeWidget()->sortColumn() : 0;
        QVariant a = data(col, SortRole), b = other.data(col, SortRole);
        if (a.typeId() == QMetaType::Double)
            return a.toDouble() < b.toDouble();
        return QString::localeAwareCompare(a.toString().toLower(), b.toString().toLower()) < 0;
    }
};

QLineEdit* ReadOnlyField(QWidget* parent, const char* name)
{
    auto* e = new QLineEdit(parent);
    e->setObjectName(QString::fromLatin1(name));
    e->setReadOnly(true);
    return e;
}

// Shows a path shortened in the middle when it does not fit; the whole text then goes to the tool tip.
void SetPathText(QLineEdit* e, const std::string& text)
{
    QString full = QStr(text);
    int width = std::max(60, e->width() - 12);
    QString shown = e->fontMetrics().elidedText(full, Qt::ElideMiddle, width);
    e->setText(shown);
    e->setToolTip(shown == full ? QString() : full);
}

} // namespace

TSelectSchedTaskDialog::TSelectSchedTaskDialog(QWidget* parent) : TDialogBase(parent)
{
    setObjectName(QStringLiteral("SelectSchedTaskDialog"));
    auto* layout = new QVBoxLayout(this);
    lvTasks = new QTreeWidget(this);
    lvTasks->setObjectName(QStringLiteral("lvTasks"));
    lvTasks->setHeaderLabels({TrQ("Name"), TrQ("Status"), TrQ("Last run time"), TrQ("Next run time")});
    lvTasks->setRootIsDecorated(false);
    lvTasks->setAllColumnsShowFocus(true);
    lvTasks->setSelectionMode(QAbstractItemView::SingleSelection);
    lvTasks->setMinimumHeight(140);
    lvTasks->header()->setSectionsClickable(true);
    lvTasks->header()->setSortIndicatorShown(true);
    lvTasks->header()->setStretchLastSection(false);
    lvTasks->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    lvTasks->setColumnWidth(1, 81);
    lvTasks->setColumnWidth(2, 140);
    lvTasks->setColumnWidth(3, 140);
    layout->addWidget(lvTasks, 1);

    gbDetails = new QGroupBox(this);
    gbDetails->setObjectName(QStringLiteral("gbDetails"));
    auto* details = new QHBoxLayout(gbDetails);
    auto* form = new QFormLayout;
    edApp = ReadOnlyField(gbDetails, "edApp");
    edParams = ReadOnlyField(gbDetails, "edParams");
    edWorkDir = ReadOnlyField(gbDetails, "edWorkDir");
    edDesc = ReadOnlyField(gbDetails, "edDesc");
    edCreator = ReadOnlyField(gbDetails, "edCreator");
    edCreated = ReadOnlyField(gbDetails, "edCreated");
    edUser = ReadOnlyField(gbDetails, "edUser");
    form->addRow(TrQ("Application:"), edApp);
    form->addRow(TrQ("Command line parameters:"), edParams);
    form->addRow(TrQ("Start in (optional):"), edWorkDir);
    form->addRow(TrQ("Description:"), edDesc);
    form->addRow(TrQ("Creator:"), edCreator);
    form->addRow(TrQ("Created:"), edCreated);
    form->addRow(TrQ("User account:"), edUser);
    tsStatus = new QCheckBox(gbDetails);
    tsStatus->setObjectName(QStringLiteral("tsStatus"));
    form->addRow(TrQ("Enabled:"), tsStatus);
    lbSchedules = new QListWidget(gbDetails);
    lbSchedules->setObjectName(QStringLiteral("lbSchedules"));
    lbSchedules->setMaximumHeight(80);
    form->addRow(TrQ("Time schedule:"), lbSchedules);
    details->addLayout(form, 1);
    auto* buttons = new QVBoxLayout;
    auto button = [&](const char* name, const QString& text) {
        auto* b = new QPushButton(text, gbDetails);
        b->setObjectName(QString::fromLatin1(name));
        buttons->addWidget(b);
        return b;
    };
    btnEdit = button("btnEdit", TrQ("Edit task"));
    btnDelete = button("btnDelete", TrQ("Delete task"));
    btbRun = button("btbRun", TrQ("Run task"));
    buttons->addStretch(1);
    btnClose = button("btnClose", TrQ("Close"));
    details->addLayout(buttons);
    layout->addWidget(gbDetails);
    resize(760, 520);

    tmUpdate = new QTimer(this);
    tmUpdate->setObjectName(QStringLiteral("tmUpdate"));
    tmUpdate->setInterval(1000);

    connect(lvTasks, &QTreeWidget::currentItemChanged, this,
            [this](QTreeWidgetItem* item) { GuardSlot([&] { ShowTaskDetails(item); }); });
    connect(lvTasks, &QTreeWidget::itemDoubleClicked, this, [this] { accept(); });
    connect(lvTasks->header(), &QHeaderView::sectionClicked, this,
            [this](int c) { GuardSlot([&] { SortBy(c); }); });
    connect(tsStatus, &QCheckBox::clicked, this, [this] { GuardSlot([&] { StatusClick(); }); });
    connect(btbRun, &QPushButton::clicked, this, [this] { GuardSlot([&] { RunClick(); }); });
    connect(btnDelete, &QPushButton::clicked, this, [this] { GuardSlot([&] { DeleteClick(); }); });
    connect(btnEdit, &QPushButton::clicked, this, [this] { accept(); });
    connect(btnClose, &QPushButton::clicked, this, [this] { reject(); });
    connect(tmUpdate, &QTimer::timeout, this, [this] { GuardSlot([&] { TimerTick(); }); });
    btnEdit->setDefault(true);
}

TWinRegisteredTask* TSelectSchedTaskDialog::SelectedTask() const
{
    TWinTaskFolder* folder = FWinTask ? FWinTask->TaskFolder() : nullptr;
    if (!folder || SelectedTaskIndex < 0 || SelectedTaskIndex >= folder->TaskCount())
        return nullptr;
    return folder->GetTask(SelectedTaskIndex);
}

int TSelectSchedTaskDialog::FillTaskList(bool ARefresh)
{
    int remembered = -1;
    if (QTreeWidgetItem* cur = lvTasks->currentItem())
        remembered = cur->data(0, PositionRole).toInt();
    QSignalBlocker block(lvTasks);
    lvTasks->clear();
    if (ARefresh) {
        FWinTask->Refresh();
        remembered = -1;
    }
    TWinTaskFolder* folder = FWinTask->TaskFolder();
    LastStatus.clear();
    QTreeWidgetItem* select = nullptr;
    int count = folder ? folder->TaskCount() : 0;
    for (int i = 0; i < count; ++i) {
        TWinRegisteredTask* t = folder->GetTask(i);
        TWinTaskStatus status = tsUnknown;
        try {
            status = t->Status();
        } catch (const EOleSysError&) {
        }
        LastStatus.push_back(status);
        if (t->IndexOfApp(FFilter) < 0)
            continue;
        auto* item = new TTaskItem(lvTasks);
        item->setText(0, QStr(t->TaskName()));
        item->setData(0, PositionRole, i);
        item->setData(0, SortRole, QStr(t->TaskName()));
        item->setText(1, QStr(WinTaskStatusText(status)));
        item->setData(1, SortRole, item->text(1));
        HRESULT result = t->LastResult();
        item->setData(0, ResultRole, result);
        TDateTime last = t->LastRunTime();
        item->setText(2, last < EncodeDate(2000, 1, 1) ? TrQ("Not yet run") : QStr(t->LastRunTimeAsString()));
        item->setData(2, SortRole, last < EncodeDate(2000, 1, 1) ? 0.0 : last);
        TDateTime next = t->NextRunTime();
        QString nextText = QStr(t->NextRunTimeAsString());
        if (nextText.isEmpty() && t->Definition()->TriggerCount() > 0) {
            TWinTaskTriggerType k = t->Definition()->GetTrigger(0)->TriggerType();
            if (k == ttEvent)
                nextText = TrQ("on wake up");
            else if (k == ttLogon)
                nextText = TrQ("on logon");
        }
        item->setText(3, nextText);
        item->setData(3, SortRole, next < EncodeDate(2000, 1, 1) ? 0.0 : next);
        if (result != 0 && last >= EncodeDate(2000, 1, 1)) {
            item->setIcon(0, style()->standardIcon(result < 0 ? QStyle::SP_MessageBoxCritical
                                                              : QStyle::SP_MessageBoxWarning));
            item->setToolTip(0, QStr(TaskResultText(result)));
        } else if (last >= EncodeDate(2000, 1, 1)) {
            item->setIcon(0, style()->standardIcon(QStyle::SP_DialogApplyButton));
        }
        if (i == remembered)
            select = item;
    }
    lvTasks->sortItems(FSortColumn, FSortDescending ? Qt::DescendingOrder : Qt::AscendingOrder);
    int n = lvTasks->topLevelItemCount();
    if (n > 0) {
        if (!select)
            select = lvTasks->topLevelItem(0);
        lvTasks->setCurrentItem(select);
    }
    return n;
}

void TSelectSchedTaskDialog::UpdateRunButton(TWinRegisteredTask* t)
{
    TWinTaskStatus s = t ? t->Status() : tsUnknown;
    btbRun->setEnabled(t && s != tsDisabled);
    bool running = s == tsRunning;
    btbRun->setText(running ? TrQ("Stop task") : TrQ("Run task"));
    btbRun->setToolTip(running ? TrQ("Stop task") : TrQ("Run task"));
    btbRun->setIcon(style()->standardIcon(running ? QStyle::SP_MediaStop : QStyle::SP_MediaPlay));
}

void TSelectSchedTaskDialog::ShowTaskDetails(QTreeWidgetItem* AItem)
{
    if (!AItem) {
        SelectedTaskIndex = -1;
        return;
    }
    int previous = SelectedTaskIndex, row = lbSchedules->currentRow();
    SelectedTaskIndex = AItem->data(0, PositionRole).toInt();
    TWinRegisteredTask* t = SelectedTask();
    if (!t)
        return;
    TWinTask* def = t->Definition();
    gbDetails->setTitle(TrQ("Properties of task: ") + QStr(t->TaskName()));
    edUser->setText(QStr(def->UserId()));
    edDesc->setText(QStr(def->Description()));
    edCreated->setText(QStr(def->DateAsString()));
    edCreator->setText(QStr(def->Author()));
    int exec = def->IndexOfNextExecAction(0);
    if (exec >= 0) {
        TWinTaskAction* a = def->GetAction(exec);
        SetPathText(edApp, a->Path());
        SetPathText(edParams, a->Arguments());
        SetPathText(edWorkDir, UnquotePath(a->WorkingDirectory()));
    } else {
        edApp->clear();
        edParams->clear();
        edWorkDir->clear();
    }
    TWinTaskStatus s = t->Status();
    tsStatus->setEnabled(s == tsReady || s == tsDisabled);
    tsStatus->setChecked(s != tsDisabled);
    tsStatus->setText(s != tsDisabled ? TrQ("Yes") : TrQ("No"));
    tsStatus->setStyleSheet(s != tsDisabled ? QStringLiteral("color: #008000")
                                            : QStringLiteral("color: red"));
    UpdateRunButton(t);
    lbSchedules->clear();
    for (int i = 0; i < def->TriggerCount(); ++i)
        lbSchedules->addItem(QString::number(i + 1) + QStringLiteral(": ") +
                             QStr(def->GetTrigger(i)->TriggerString()));
    if (previous == SelectedTaskIndex && row < lbSchedules->count())
        lbSchedules->setCurrentRow(row);
}

void TSelectSchedTaskDialog::StatusClick()
{
    TWinRegisteredTask* t = SelectedTask();
    if (!t)
        return;
    t->SetEnabled(tsStatus->isChecked());
    FillTaskList(false);
    ShowTaskDetails(lvTasks->currentItem());
}

void TSelectSchedTaskDialog::RunClick()
{
    TWinRegisteredTask* t = SelectedTask();
    if (!t)
        return;
    TWinTaskStatus s = t->Status();
    if (s == tsRunning) {
        if (ConfirmDialog(_("Stop selected task?")))
            t->Stop();
    } else if (s == tsReady || s == tsQueued) {
        if (ConfirmDialog(_("Run selected task?")))
            t->Run();
    }
    FillTaskList(false);
    ShowTaskDetails(lvTasks->currentItem());
    QApplication::processEvents();
}

void TSelectSchedTaskDialog::DeleteClick()
{
    TWinRegisteredTask* t = SelectedTask();
    if (!t || !ConfirmDialog(_("Delete selected task?")))
        return;
    TWinTaskFolder* folder = FWinTask->TaskFolder();
    if (!folder->DeleteTask(t->TaskName())) {
        ErrorDialog(folder->ErrorMessage());
        return;
    }
    Changed = true;
    if (FillTaskList(true) > 0) {
        lvTasks->setCurrentItem(lvTasks->topLevelItem(0));
        ShowTaskDetails(lvTasks->topLevelItem(0));
    } else {
        SelectedTaskIndex = -1;
        QDialog::done(mrYes);
    }
}

void TSelectSchedTaskDialog::TimerTick()
{
    TWinTaskFolder* folder = FWinTask ? FWinTask->TaskFolder() : nullptr;
    if (!folder)
        return;
    for (int i = 0; i < folder->TaskCount() && i < static_cast<int>(LastStatus.size()); ++i)
        if (folder->GetTask(i)->Status() != LastStatus[static_cast<size_t>(i)]) {
            FillTaskList(false);
            ShowTaskDetails(lvTasks->currentItem());
            return;
        }
}

void TSelectSchedTaskDialog::SortBy(int column)
{
    if (column == FSortColumn)
        FSortDescending = !FSortDescending;
    else
        FSortDescending = column != 0;
    FSortColumn = column;
    lvTasks->sortItems(FSortColumn, FSortDescending ? Qt::DescendingOrder : Qt::AscendingOrder);
}

void TSelectSchedTaskDialog::done(int r)
{
    if (r == QDialog::Accepted && SelectedTaskIndex < 0) {
        if (ConfirmDialog(_("No task selected - rectify?")))
            return;
        QDialog::done(mrYes);
        return;
    }
    QDialog::done(r == QDialog::Accepted ? mrOk : r == QDialog::Rejected ? mrCancel : r);
}

void TSelectSchedTaskDialog::showEvent(QShowEvent* e)
{
    TDialogBase::showEvent(e);
    tmUpdate->start();
    // the paths are shortened to the fields' final widths
    GuardSlot([&] { ShowTaskDetails(lvTasks->currentItem()); });
}

void TSelectSchedTaskDialog::resizeEvent(QResizeEvent* e)
{
    TDialogBase::resizeEvent(e);
    if (FWinTask)
        GuardSlot([&] { ShowTaskDetails(lvTasks->currentItem()); });
}

void TSelectSchedTaskDialog::hideEvent(QHideEvent* e)
{
    tmUpdate->stop();
    TDialogBase::hideEvent(e);
}

TModalResult TSelectSchedTaskDialog::Execute(const std::string& ATitle, TWinTaskScheduler* ATaskSchedule,
                                             const std::string& AFilter, int& ATaskIndex, int& ATrgIndex)
{
    setWindowTitle(TrQ("Select Scheduled Task") + QStringLiteral(" (") + QStr(ATitle) + QStringLiteral(")"));
    FWinTask = ATaskSchedule;
    FFilter = AFilter;
    SelectedTaskIndex = -1;
    Changed = false;
    if (FillTaskList(true) == 0)
        return mrNo;
    ShowTaskDetails(lvTasks->currentItem());
    TModalResult result = exec();
    ATaskIndex = SelectedTaskIndex;
    if (result == mrOk) {
        TWinRegisteredTask* t = SelectedTask();
        if (!t || t->Definition()->TriggerCount() == 0)
            ATrgIndex = -1;
        else
            ATrgIndex = lbSchedules->currentRow() >= 0 ? lbSchedules->currentRow() : 0;
    }
    if (SelectedTaskIndex < 0 || Changed)
        result = mrYes;
    tmUpdate->stop();
    return result;
}

TModalResult SelectScheduledTask(const std::string& ATitle, TWinTaskScheduler* ATaskSchedule,
                                 const std::string& AFilter, int& ATaskIndex, int& ATrgIndex, QWidget* parent)
{
    auto dlg = std::make_unique<TSelectSchedTaskDialog>(parent);
    return dlg->Execute(ATitle, ATaskSchedule, AFilter, ATaskIndex, ATrgIndex);
}
