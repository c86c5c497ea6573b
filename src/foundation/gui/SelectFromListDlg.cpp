#include "foundation/gui/SelectFromListDlg.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>
#include <memory>

#include "foundation/gui/InputString.h"
#include "foundation/gui/WinUtils.h"

TSelectFromListDialog::TSelectFromListDialog(QWidget* parent) : TDialogBase(parent)
{
    setObjectName(QStringLiteral("SelectFromListDialog"));
    setWindowTitle(TrQ("Select item from list"));
    lbDesc = new QLabel(this);
    lbDesc->setObjectName(QStringLiteral("lbDesc"));
    lbxStringList = new QListWidget(this);
    lbxStringList->setObjectName(QStringLiteral("lbxStringList"));
    gbEdit = new QGroupBox(TrQ("Edit items"), this);
    auto make = [this](QWidget* group, const char* name, const QString& caption) {
        auto* b = new QPushButton(caption, group);
        b->setObjectName(QString::fromLatin1(name));
        b->setAutoDefault(false);
        return b;
    };
    btnInsert = make(gbEdit, "btnInsert", TrQ("Add"));
    btnDelete = make(gbEdit, "btnDelete", TrQ("Remove"));
    btnEdit = make(gbEdit, "btnEdit", TrQ("Change"));
    btnDefault = make(gbEdit, "btnDefault", TrQ("Default"));
    btnDelAll = make(gbEdit, "btnDelAll", TrQ("Remove all"));
    auto* editLayout = new QVBoxLayout(gbEdit);
    editLayout->addWidget(btnInsert);
    editLayout->addWidget(btnDelete);
    editLayout->addWidget(btnEdit);
    editLayout->addWidget(btnDefault);
    editLayout->addWidget(btnDelAll);
    gbMove = new QGroupBox(TrQ("Move item"), this);
    UpBtn = make(gbMove, "UpBtn", QString());
    UpBtn->setIcon(style()->standardIcon(QStyle::SP_ArrowUp));
    DownBtn = make(gbMove, "DownBtn", QString());
    DownBtn->setIcon(style()->standardIcon(QStyle::SP_ArrowDown));
    auto* moveLayout = new QHBoxLayout(gbMove);
    moveLayout->addWidget(UpBtn);
    moveLayout->addWidget(DownBtn);
    lbHint = new QLabel(this);
    lbHint->setObjectName(QStringLiteral("lbHint"));
    lbHint->setWordWrap(true);
    OKBtn = make(this, "OKBtn", TrQ("OK"));
    OKBtn->setDefault(true);
    btnPrompt = make(this, "btnPrompt", TrQ("Prompt"));
    CancelBtn = make(this, "CancelBtn", TrQ("Cancel"));
    auto* side = new QVBoxLayout;
    side->addWidget(gbEdit);
    side->addWidget(gbMove);
    side->addWidget(lbHint);
    side->addStretch(1);
    side->addWidget(OKBtn);
    side->addWidget(btnPrompt);
    side->addWidget(CancelBtn);
    auto* left = new QVBoxLayout;
    left->addWidget(lbDesc);
    left->addWidget(lbxStringList, 1);
    auto* layout = new QHBoxLayout(this);
    layout->addLayout(left, 1);
    layout->addLayout(side);
    resize(420, 320);
    connect(OKBtn, &QPushButton::clicked, this, [this] { done(mrOk); });
    connect(btnPrompt, &QPushButton::clicked, this, [this] { done(mrYes); });
    connect(CancelBtn, &QPushButton::clicked, this, [this] { done(mrCancel); });
    connect(btnInsert, &QPushButton::clicked, this, [this] { GuardSlot([this] { AddClick(); }); });
    connect(btnEdit, &QPushButton::clicked, this,
            [this] { GuardSlot([this] { EditEntry(GetBottomRightPos(btnEdit), true); }); });
    connect(btnDelete, &QPushButton::clicked, this, [this] { GuardSlot([this] { DeleteClick(); }); });
    connect(btnDelAll, &QPushButton::clicked, this, [this] { GuardSlot([this] { DelAllClick(); }); });
    connect(btnDefault, &QPushButton::clicked, this, [this] { GuardSlot([this] { DefaultClick(); }); });
    connect(UpBtn, &QPushButton::clicked, this, [this] { GuardSlot([this] { Move(true); }); });
    connect(DownBtn, &QPushButton::clicked, this, [this] { GuardSlot([this] { Move(false); }); });
    connect(lbxStringList, &QListWidget::itemDoubleClicked, this, [this] {
        GuardSlot([this] {
            if (FEdit)
                EditEntry(GetMousePosOfs({-20, 20}), false);
            else
                done(mrOk);
        });
    });
}

void TSelectFromListDialog::reject()
{
    done(mrCancel);
}

QPoint TSelectFromListDialog::AskPos(QPushButton* b) const
{
    return GetBottomLeftPosOfs(b, {-100, 10});
}

bool TSelectFromListDialog::Confirm(QPushButton* b, const std::string& text)
{
    return FNoConfirm || ConfirmDialogAt(AskPos(b), text, mbYes);
}

void TSelectFromListDialog::AddClick()
{
    std::string text;
    if (!AskString(GetBottomRightPos(btnInsert), _("Add item"), StdStr(lbDesc->text()), text))
        return;
    if (FCheckEntry && !FCheckEntry(text)) {
        ErrorDialogAt(GetMousePos(), SafeFormat(_("Invalid entry: \"%s\""), {text}));
        return;
    }
    lbxStringList->addItem(QStr(text));
    lbxStringList->setCurrentRow(lbxStringList->count() - 1);
}

void TSelectFromListDialog::EditEntry(const QPoint& pos, bool validate)
{
    QListWidgetItem* item = lbxStringList->currentItem();
    if (!item)
        return;
    std::string text = StdStr(item->text());
    if (!AskString(pos, _("Edit item"), StdStr(lbDesc->text()), text))
        return;
    if (validate && FCheckEntry && !FCheckEntry(text)) {
        ErrorDialogAt(GetMousePos(), SafeFormat(_("Invalid entry: \"%s\""), {text}));
        return;
    }
    item->setText(QStr(text));
}

void TSelectFromListDialog::DeleteClick()
{
    const QList<QListWidgetItem*> selected = lbxStringList->selectedItems();
    if (selected.isEmpty())
        return;
    const int row = lbxStringList->row(selected.first());
    if (lbxStringList->selectionMode() == QAbstractItemView::ExtendedSelection) {
        if (!Confirm(btnDelete, _("Remove all selected items?")))
            return;
        for (QListWidgetItem* item : selected)
            delete item;
    } else {
        if (!Confirm(btnDelete, SafeFormat(_("Remove item: \"%s\"?"), {StdStr(selected.first()->text())})))
            return;
        delete selected.first();
    }
    const int n = lbxStringList->count();
    if (n > 0)
        lbxStringList->setCurrentRow(std::min(row, n - 1));
}

void TSelectFromListDialog::DelAllClick()
{
    if (Confirm(btnDelAll, _("Clear whole list") + "?"))
        lbxStringList->clear();
}

void TSelectFromListDialog::DefaultClick()
{
    if (!Confirm(btnDefault, _("Reset to default values") + "?"))
        return;
    TStringList list;
    list.Delimiter = ',';
    list.QuoteChar = '"';
    list.SetDelimitedText(DefDelimitedText);
    lbxStringList->clear();
    for (const std::string& s : list)
        lbxStringList->addItem(QStr(s));
}

void TSelectFromListDialog::Move(bool up)
{
    const int row = lbxStringList->currentRow();
    if (row < 0 || !lbxStringList->currentItem()->isSelected())
        return;
    const int to = up ? row - 1 : row + 1;
    if (to < 0 || to >= lbxStringList->count())
        return;
    QListWidgetItem* item = lbxStringList->takeItem(row);
    lbxStringList->insertItem(to, item);
    lbxStringList->setCurrentRow(to);
}

TModalResult TSelectFromListDialog::Execute(const QPoint& APos, const std::string& Titel,
                                            const std::string& Desc, const std::string& Hint,
                                            TSelectOptions Options, int ACols, TTextChange Convert,
                                            const std::string& Default, TStringList& SList,
                                            std::string& AText, bool ShowCancel,
                                            const TCheckEntry& CheckEntry)
{
    setWindowTitle(QStr(Titel));
    CancelBtn->setVisible(ShowCancel);
    FCheckEntry = CheckEntry;
    lbDesc->setText(QStr(Desc));
    lbxStringList->setToolTip(QStr(Desc));
    lbHint->setText(QStr(Hint));
    lbHint->setFocusPolicy(Hint.empty() ? Qt::NoFocus : Qt::TabFocus);
    FEdit = (Options & SelectOption(soEdit)) != 0;
    gbEdit->setVisible(FEdit);
    btnPrompt->setVisible((Options & SelectOption(soPrompt)) != 0);
    FNoConfirm = (Options & SelectOption(soNoConfirm)) != 0;
    gbMove->setVisible((Options & SelectOption(soOrder)) != 0);
    const bool multi = (Options & SelectOption(soMulti)) != 0;
    lbxStringList->setSelectionMode(multi ? QAbstractItemView::ExtendedSelection
                                          : QAbstractItemView::SingleSelection);
    btnDelAll->setVisible((Options & SelectOption(soDelAll)) != 0);
    DefDelimitedText = Default;
    btnDefault->setVisible(!Default.empty());
    if (ACols > 1) {
        lbxStringList->setFlow(QListView::TopToBottom);
        lbxStringList->setWrapping(true);
        lbxStringList->setResizeMode(QListView::Adjust);
    }
    lbxStringList->clear();
    for (int i = 0; i < SList.Count(); ++i) {
        lbxStringList->addItem(QStr(SList[i]));
        if (SList[i] == AText)
            lbxStringList->setCurrentRow(i);
    }
    PlaceFormAt(this, APos);
    const int result = exec();
    if (result == mrCancel)
        return result;
    if (Convert != tcNone)
        for (int i = 0; i < lbxStringList->count(); ++i)
            lbxStringList->item(i)->setText(
                QStr(ChangeTextCase(StdStr(lbxStringList->item(i)->text()), Convert)));
    if (FEdit) {
        SList.Clear();
        for (int i = 0; i < lbxStringList->count(); ++i)
            SList.Add(StdStr(lbxStringList->item(i)->text()));
    }
    std::string chosen;
    for (int i = 0; i < lbxStringList->count(); ++i) {
        if (!lbxStringList->item(i)->isSelected())
            continue;
        if (!multi) {
            chosen = StdStr(lbxStringList->item(i)->text());
            break;
        }
        if (!chosen.empty())
            chosen += "|";
        chosen += StdStr(lbxStringList->item(i)->text());
    }
    AText = chosen;
    return result;
}

bool TSelectFromListDialog::Select(const QPoint& APos, const std::string& Titel, const std::string& Desc,
                                   const std::string& Hint, TSelectOptions Options, int ACols,
                                   TTextChange Convert, const std::string& Default, TStringList& SList,
                                   std::string& AText, bool ShowCancel, const TCheckEntry& CheckEntry)
{
    return Execute(APos, Titel, Desc, Hint, Options, ACols, Convert, Default, SList, AText, ShowCancel,
                   CheckEntry) != mrCancel;
}

bool TSelectFromListDialog::Select(const QPoint& APos, const std::string& Titel, const std::string& Desc,
                                   const std::string& Hint, int ACols, TTextChange Convert,
                                   const std::string& Default, std::string& ListText, char ADel, char AQuote)
{
    TStringList list;
    list.Sorted = true;
    list.Delimiter = ADel;
    list.QuoteChar = AQuote;
    list.SetDelimitedText(ListText);
    std::string text;
    const bool ok = Select(APos, Titel, Desc, Hint, 0, ACols, Convert, Default, list, text, true, nullptr);
    ListText = list.DelimitedText();
    return ok;
}

TModalResult TSelectFromListDialog::Select(const QPoint& APos, const std::string& Titel,
                                           const std::string& Desc, const std::string& Hint, bool Prompt,
                                           TStringList& SList, std::string& AText)
{
    return Execute(APos, Titel, Desc, Hint, Prompt ? SelectOption(soPrompt) : 0, 1, tcNone, "", SList, AText,
                   true, nullptr);
}

void TSelectFromListDialog::Show(const QPoint& APos, const std::string& Titel, const std::string& Desc,
                                 const std::string& Hint, int ACols, TStringList& SList)
{
    std::string text;
    Execute(APos, Titel, Desc, Hint, 0, ACols, tcNone, "", SList, text, false, nullptr);
}

bool SelectFromList(const QPoint& APos, const std::string& Titel, const std::string& Desc,
                    const std::string& Hint, TSelectOptions Options, int ACols, TTextChange Convert,
                    const std::string& Default, TStringList& SList, std::string& AText)
{
    if (!GuiAvailable())
        return false;
    auto dlg = std::make_unique<TSelectFromListDialog>();
    return dlg->Select(APos, Titel, Desc, Hint, Options, ACols, Convert, Default, SList, AText, true,
                       nullptr);
}
