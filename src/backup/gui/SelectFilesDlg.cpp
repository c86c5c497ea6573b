#include "backup/gui/SelectFilesDlg.h"

#include <QCheckBox>
#include <QDir>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>
#include <memory>

#include "foundation/gui/ShowMessageDlg.h"
#include "foundation/gui/WinUtils.h"

TSelectFilesDialog::TSelectFilesDialog(QWidget* parent) : TTaskDialogBase("", parent)
{
    setObjectName(QStringLiteral("SelectFilesDialog"));
    setWindowTitle(TrQ("Files to be backed up"));
    lePath = new QLineEdit(this);
    lePath->setObjectName(QStringLiteral("lePath"));
    lePath->setReadOnly(true);
    auto* pathLabel = new QLabel(TrQ("Directory:"), this);
    pathLabel->setBuddy(lePath);
    lbFiles = new QListWidget(this);
    lbFiles->setObjectName(QStringLiteral("lbFiles"));
    lbFiles->setSelectionMode(QAbstractItemView::ExtendedSelection);
    lbFiles->setToolTip(TrQ("Files to be backed up"));
    FileListBox = new QListWidget(this);
    FileListBox->setObjectName(QStringLiteral("FileListBox"));
    FileListBox->setSelectionMode(QAbstractItemView::ExtendedSelection);
    FileListBox->setToolTip(TrQ("Files in the directory"));
    auto* selLabel = new QLabel(TrQ("Selected files:"), this);
    selLabel->setBuddy(lbFiles);
    auto* fileLabel = new QLabel(TrQ("Existing files:"), this);
    fileLabel->setBuddy(FileListBox);
    btnAdd = new QPushButton(QStringLiteral("<"), this);
    btnAdd->setObjectName(QStringLiteral("btnAdd"));
    btnAdd->setToolTip(TrQ("Add selected files"));
    btnAdd->setAutoDefault(false);
    btnRemove = new QPushButton(QStringLiteral(">"), this);
    btnRemove->setObjectName(QStringLiteral("btnRemove"));
    btnRemove->setToolTip(TrQ("Remove selected files"));
    btnRemove->setAutoDefault(false);
    cbInvert = new QCheckBox(TrQ("Backup all files except the selected"), this);
    cbInvert->setObjectName(QStringLiteral("cbInvert"));

    auto* buttons = new QVBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(btnAdd);
    buttons->addWidget(btnRemove);
    buttons->addStretch(1);
    auto* pathRow = new QHBoxLayout;
    pathRow->addWidget(pathLabel);
    pathRow->addWidget(lePath, 1);
    auto* left = new QVBoxLayout;
    left->addWidget(selLabel);
    left->addWidget(lbFiles, 1);
    auto* right = new QVBoxLayout;
    right->addWidget(fileLabel);
    right->addWidget(FileListBox, 1);
    auto* lists = new QHBoxLayout;
    lists->addLayout(left, 1);
    lists->addLayout(buttons);
    lists->addLayout(right, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(pathRow);
    layout->addLayout(lists, 1);
    layout->addWidget(cbInvert);
    AddOkCancel(this, layout);
    resize(620, 420);

    connect(btnAdd, &QPushButton::clicked, this, [this] { GuardSlot([this] { AddClick(); }); });
    connect(FileListBox, &QListWidget::itemDoubleClicked, this,
            [this] { GuardSlot([this] { AddClick(); }); });
    connect(btnRemove, &QPushButton::clicked, this, [this] { GuardSlot([this] { RemoveClick(); }); });
    connect(lbFiles, &QListWidget::itemDoubleClicked, this, [this] { GuardSlot([this] { RemoveClick(); }); });
}

QString TSelectFilesDialog::FocusedHint() const
{
    // The read-only path has no hint of its own: its label tells what it is.
    if (focusWidget() == lePath)
        return TrQ("Directory:");
    return TTaskDialogBase::FocusedHint();
}

void TSelectFilesDialog::AddClick()
{
    for (QListWidgetItem* item : FileListBox->selectedItems()) {
        const QString name = item->text();
        bool present = false;
        for (int i = 0; i < lbFiles->count() && !present; ++i)
            present = lbFiles->item(i)->text().compare(name, Qt::CaseInsensitive) == 0;
        if (!present)
            lbFiles->addItem(name);
    }
}

void TSelectFilesDialog::RemoveClick()
{
    for (int i = lbFiles->count() - 1; i >= 0; --i)
        if (lbFiles->item(i)->isSelected())
            delete lbFiles->takeItem(i);
}

std::string TSelectFilesDialog::FilterText() const
{
    QStringList lines;
    for (int i = 0; i < lbFiles->count(); ++i)
        lines << lbFiles->item(i)->text();
    return StdStr(lines.join(QLatin1Char('|')));
}

bool TSelectFilesDialog::Execute(const QPoint& APos, const std::string& Dir, TTextFilter& AFilter)
{
    FIsFileFilter = AFilter.IsFileFilter();
    FIgnoreCase = AFilter.IgnoreCase();
    FRegular = AFilter.Regular();
    lePath->setText(QStr(Dir));
    FileListBox->clear();
    const QDir dir(QStr(Dir));
    for (const QString& name :
         dir.entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name | QDir::IgnoreCase))
        FileListBox->addItem(name);
    cbInvert->setChecked(AFilter.Mode() == fmExclude);
    lbFiles->clear();
    const QString filter = QStr(AFilter.GetFilter());
    if (!filter.isEmpty())
        lbFiles->addItems(filter.split(QLatin1Char('|')));
    PlaceFormAt(this, APos);
    if (exec() != QDialog::Accepted)
        return false;
    AFilter.SetFilter(FilterText());
    AFilter.SetMode(cbInvert->isChecked() ? fmExclude : fmInclude);
    return true;
}

void TSelectFilesDialog::accept()
{
    bool ok = true;
    GuardSlot([&] {
        TTextFilter probe(FIsFileFilter, FIgnoreCase);
        probe.SetRegular(FRegular);
        try {
            probe.SetFilter(FilterText());
        } catch (const EFilterError& e) {
            ok = false;
            lbFiles->setFocus();
            ErrorDialog(e.Message());
        }
    });
    if (ok)
        QDialog::accept();
}

bool ShowSelectFilesDialog(const QPoint& APos, const std::string& Dir, TTextFilter& AFilter)
{
    if (!GuiAvailable())
        return false;
    auto dlg = std::make_unique<TSelectFilesDialog>();
    return dlg->Execute(APos, Dir, AFilter);
}

bool SelectFilesCentered(const std::string& Dir, TTextFilter& AFilter)
{
    return ShowSelectFilesDialog(DefaultFormPos, Dir, AFilter);
}
