#include "foundation/gui/LogonDlg.h"

#include <QComboBox>
#include <QEvent>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <memory>

#include "foundation/gui/HListBoxWidgets.h"
#include "foundation/gui/WinUtils.h"

TLogonDialog::TLogonDialog(QWidget* parent) : TDialogBase(parent)
{
    setObjectName(QStringLiteral("LogonDialog"));
    setWindowTitle(TrQ("Connect to"));
    laHinweis = new QLabel(this);
    laHinweis->setObjectName(QStringLiteral("laHinweis"));
    laHinweis->setWordWrap(true);
    cbName = new QComboBox(this);
    cbName->setObjectName(QStringLiteral("cbName"));
    cbName->setEditable(true);
    cbName->setInsertPolicy(QComboBox::NoInsert);
    cbName->setMaxVisibleItems(10);
    cbName->installEventFilter(this);
    PwdEdit = new QLineEdit(this);
    PwdEdit->setObjectName(QStringLiteral("PwdEdit"));
    PwdEdit->setEchoMode(QLineEdit::Password);
    auto* form = new QFormLayout;
    form->addRow(TrQ("User name:"), cbName);
    form->addRow(TrQ("Password:"), PwdEdit);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(laHinweis);
    layout->addLayout(form);
    const TOkCancel buttons = AddOkCancel(this, layout, TrQ("Logon"));
    btnSkip = new QPushButton(TrQ("&Skip"), this);
    btnSkip->setObjectName(QStringLiteral("btnSkip"));
    btnSkip->setAutoDefault(false);
    static_cast<QBoxLayout*>(layout->itemAt(layout->count() - 1)->layout())->addWidget(btnSkip);
    connect(buttons.Cancel, &QPushButton::clicked, this, [this] { done(mrCancel); });
    connect(btnSkip, &QPushButton::clicked, this, [this] { done(mrIgnore); });
    cbName->setMinimumWidth(240);
    SetStaticTabStops(this, false);
}

TLogonDialog::~TLogonDialog()
{
    if (FIniName.empty() || FSection.empty())
        return;
    try {
        SaveHistoryCombo(FIniName, FSection, true, cbName, cbName->maxVisibleItems(), false);
    } catch (const std::exception& e) {
        ReportGuiException(&e);
    }
}

void TLogonDialog::LoadFromIni(const std::string& IniName, const std::string& IniSection)
{
    FIniName = IniName;
    FSection = IniSection;
    LoadHistoryCombo(IniName, IniSection, cbName, cbName->maxVisibleItems(), false);
}

TModalResult TLogonDialog::Execute(const std::string& Titel, const std::string& Hinweis, bool ShowSkip,
                                   std::string& User, std::string& Pwd)
{
    setWindowTitle(QStr(Titel));
    laHinweis->setText(QStr(Hinweis));
    cbName->setEditText(QStr(User));
    PwdEdit->clear();
    btnSkip->setVisible(ShowSkip);
    adjustSize();
    PlaceFormAt(this, DefaultFormPos);
    const int result = exec();
    if (result == mrOk) {
        User = StdStr(cbName->currentText());
        Pwd = StdStr(PwdEdit->text());
        AddToHistoryCombo(cbName, User);
    }
    return result;
}

void TLogonDialog::reject()
{
    // Esc answers Skip when Skip is shown; Cancel does not react to Esc.
    if (btnSkip->isVisible())
        done(mrIgnore);
}

void TLogonDialog::showEvent(QShowEvent* event)
{
    TDialogBase::showEvent(event);
    raise();
    if (cbName->currentText().isEmpty())
        cbName->setFocus();
    else
        PwdEdit->setFocus();
}

bool TLogonDialog::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == cbName && event->type() == QEvent::FocusIn)
        PwdEdit->clear();
    return TDialogBase::eventFilter(watched, event);
}

TModalResult AskLogon(const std::string& Titel, const std::string& Hinweis, bool ShowSkip, std::string& User,
                      std::string& Pwd)
{
    if (!GuiAvailable())
        return mrCancel;
    auto dlg = std::make_unique<TLogonDialog>();
    return dlg->Execute(Titel, Hinweis, ShowSkip, User, Pwd);
}
