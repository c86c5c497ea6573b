#include "foundation/gui/InpText.h"

#include <QComboBox>
#include <QCompleter>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <memory>

#include "foundation/gui/CharTableDlg.h"
#include "foundation/gui/HListBoxWidgets.h"
#include "foundation/gui/WinUtils.h"

TInputTextDialog::TInputTextDialog(QWidget* parent) : TDialogBase(parent)
{
    setObjectName(QStringLiteral("InputTextDialog"));
    setWindowTitle(TrQ("Edit text"));
    Descriptor = new QLabel(this);
    Descriptor->setObjectName(QStringLiteral("Descriptor"));
    TextFeld = new QComboBox(this);
    TextFeld->setObjectName(QStringLiteral("TextFeld"));
    TextFeld->setEditable(true);
    TextFeld->setInsertPolicy(QComboBox::NoInsert);
    TextFeld->setMaxVisibleItems(15);
    TextFeld->completer()->setCaseSensitivity(Qt::CaseSensitive);
    TextFeld->completer()->setCompletionMode(QCompleter::InlineCompletion);
    CharTabBtn = new QPushButton(TrQ("Character table"), this);
    CharTabBtn->setObjectName(QStringLiteral("CharTabBtn"));
    CharTabBtn->setAutoDefault(false);
    auto* row = new QHBoxLayout;
    row->addWidget(TextFeld, 1);
    row->addWidget(CharTabBtn);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Descriptor);
    layout->addLayout(row);
    layout->addStretch(1);
    AddOkCancel(this, layout);
    connect(CharTabBtn, &QPushButton::clicked, this, [this] { GuardSlot([this] { CharTabClick(); }); });
    resize(420, sizeHint().height());
    defWidth = width();
}

TInputTextDialog::~TInputTextDialog()
{
    if (FIniName.empty() || FIniSection.empty())
        return;
    try {
        SaveHistoryCombo(FIniName, FIniSection, true, TextFeld, -1, false);
    } catch (const std::exception& e) {
        ReportGuiException(&e);
    }
}

void TInputTextDialog::LoadFromIni(const std::string& AIniName, const std::string& AIniSection)
{
    FIniName = AIniName;
    FIniSection = AIniSection;
    if (!AIniName.empty() && !AIniSection.empty())
        LoadHistoryCombo(AIniName, AIniSection, TextFeld, -1, false);
}

TStringList TInputTextDialog::History() const
{
    return ComboItems(TextFeld);
}

void TInputTextDialog::SetHistory(const TStringList& list, bool sorted)
{
    TStringList l = list;
    if (sorted)
        l.Sort();
    SetComboItems(TextFeld, l);
}

void TInputTextDialog::CharTabClick()
{
    const uint16_t c = SelectCharacter(GetTopRightPos(CharTabBtn), StdStr(TextFeld->font().family()));
    if (c != 0)
        TextFeld->setEditText(TextFeld->currentText() + QChar(c));
    TextFeld->setFocus();
    TextFeld->lineEdit()->setCursorPosition(static_cast<int>(TextFeld->currentText().size()));
}

bool TInputTextDialog::Execute(const QPoint& APos, const std::string& Titel, const std::string& Desc,
                               bool ShowTable, const std::string& AFontName, std::string& AText)
{
    if (!Titel.empty())
        setWindowTitle(QStr(Titel));
    Descriptor->setText(QStr(Desc));
    TextFeld->setToolTip(QStr(Desc));
    CharTabBtn->setVisible(ShowTable);
    if (!AFontName.empty()) {
        QFont f = TextFeld->font();
        f.setFamily(QStr(AFontName));
        TextFeld->setFont(f);
    }
    TextFeld->setEditText(QStr(AText));
    TextFeld->setFocus();
    const int extra = width() - TextFeld->width();
    resize(std::max(defWidth, GetTextWidthInFont(TextFeld->currentText(), TextFeld->font()) +
                                  ScaleToFormDpi(20, this) + extra),
           height());
    PlaceFormAt(this, APos);
    if (exec() != QDialog::Accepted)
        return false;
    AText = StdStr(TextFeld->currentText());
    AddToHistoryCombo(TextFeld, AText);
    TextFeld->setEditText(QStr(AText));
    return true;
}

bool InputTextHistory(const QPoint& APos, const std::string& Titel, const std::string& Desc, bool ShowTable,
                      const std::string& AFontName, TStringList* History, bool Sorted, std::string& AText)
{
    auto dlg = std::make_unique<TInputTextDialog>();
    if (History)
        dlg->SetHistory(*History, Sorted);
    const bool ok = dlg->Execute(APos, Titel, Desc, ShowTable, AFontName, AText);
    if (ok && History) {
        History->Clear();
        History->AddStrings(dlg->History());
    }
    return ok;
}

bool InputText(const QPoint& APos, const std::string& Titel, const std::string& Desc, bool ShowTable,
               std::string& AText)
{
    return InputTextHistory(APos, Titel, Desc, ShowTable, "", nullptr, false, AText);
}
