#include "foundation/gui/PwdDlg.h"

#include <QApplication>
#include <QClipboard>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>
#include <memory>

#include "foundation/gui/WinUtils.h"

TPasswordDialog::TPasswordDialog(QWidget* parent) : TDialogBase(parent)
{
    setObjectName(QStringLiteral("PasswordDialog"));
    lblPrompt = new QLabel(this);
    lblPrompt->setObjectName(QStringLiteral("lblPrompt"));
    lblPrompt->setTextFormat(Qt::PlainText);
    edtPwd = new QLineEdit(this);
    edtPwd->setObjectName(QStringLiteral("edtPwd"));
    edtPwd->setEchoMode(QLineEdit::Password);
    bbPaste = new QPushButton(TrQ("Paste from clipboard"), this);
    bbPaste->setObjectName(QStringLiteral("bbPaste"));
    bbPaste->setAutoDefault(false);
    gbEncrypt = new QGroupBox(TrQ("AES encryption depth:"), this);
    gbEncrypt->setObjectName(QStringLiteral("gbEncrypt"));
    rbEnc128 = new QRadioButton(TrQ("128 bit"), gbEncrypt);
    rbEnc128->setObjectName(QStringLiteral("rbEnc128"));
    rbEnc256 = new QRadioButton(TrQ("256 bit"), gbEncrypt);
    rbEnc256->setObjectName(QStringLiteral("rbEnc256"));
    rbEncAuto = new QRadioButton(TrQ("Automatic"), gbEncrypt);
    rbEncAuto->setObjectName(QStringLiteral("rbEncAuto"));
    auto* enc = new QHBoxLayout(gbEncrypt);
    enc->addWidget(rbEnc128);
    enc->addWidget(rbEnc256);
    enc->addWidget(rbEncAuto);
    auto* input = new QHBoxLayout;
    input->addWidget(edtPwd, 1);
    input->addWidget(bbPaste);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(lblPrompt);
    layout->addLayout(input);
    layout->addWidget(gbEncrypt);
    const TOkCancel buttons = AddOkCancel(this, layout);
    btnSkip = new QPushButton(TrQ("Skip"), this);
    btnSkip->setObjectName(QStringLiteral("btnSkip"));
    btnSkip->setAutoDefault(false);
    static_cast<QBoxLayout*>(layout->itemAt(layout->count() - 1)->layout())->addWidget(btnSkip);
    connect(buttons.Cancel, &QPushButton::clicked, this, [this] { done(mrCancel); });
    connect(btnSkip, &QPushButton::clicked, this, [this] { done(mrYes); });
    connect(bbPaste, &QPushButton::clicked, this, [this] {
        edtPwd->clear();
        edtPwd->paste();
    });
    layout->setSizeConstraint(QLayout::SetFixedSize);
    edtPwd->setMinimumWidth(260);
}

void TPasswordDialog::reject()
{
    done(mrCancel);
}

TModalResult TPasswordDialog::Execute(const QPoint& APos, const std::string& Title, const std::string& Prompt,
                                      bool Skip, bool Enc, std::string& Pwd, int& EncMode)
{
    setWindowTitle(QStr(Title));
    QString prompt = QStr(Prompt);
    prompt.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    lblPrompt->setText(prompt);
    edtPwd->clear();
    btnSkip->setVisible(Skip);
    gbEncrypt->setVisible(Enc);
    // 3 is what the dialog reports for 256 bit, so it preselects 256 bit as well as 2.
    if (EncMode == 1)
        rbEnc128->setChecked(true);
    else if (EncMode == 2 || EncMode == 3)
        rbEnc256->setChecked(true);
    else
        rbEncAuto->setChecked(true);
    edtPwd->setFocus();
    adjustSize();
    PlaceFormAt(this, APos);
    const int result = exec();
    if (result == mrOk) {
        Pwd = StdStr(edtPwd->text());
        if (Enc)
            EncMode = rbEncAuto->isChecked() ? 0 : rbEnc128->isChecked() ? 1 : 3;
    }
    return result;
}

TModalResult AskPassword(const QPoint& APos, const std::string& Title, const std::string& Prompt, bool Skip,
                         bool Enc, std::string& Pwd, int& EncMode)
{
    if (!GuiAvailable())
        return mrCancel;
    auto dlg = std::make_unique<TPasswordDialog>();
    return dlg->Execute(APos, Title, Prompt, Skip, Enc, Pwd, EncMode);
}

TModalResult AskPasswordAnsi(const QPoint& APos, const std::string& Title, const std::string& Prompt,
                             bool Skip, bool, std::string& Pwd, int& EncMode)
{
    return AskPassword(APos, Title, Prompt, Skip, false, Pwd, EncMode);
}

TModalResult AskPasswordAnsiSkip(const QPoint& APos, const std::string& Title, const std::string& Prompt,
                                 bool Skip, std::string& Pwd)
{
    int mode = 0;
    return AskPasswordAnsi(APos, Title, Prompt, Skip, false, Pwd, mode);
}

TModalResult AskPasswordCentered(const std::string& Title, const std::string& Prompt, bool Skip,
                                 std::string& Pwd)
{
    return AskPasswordAnsiSkip(DefaultFormPos, Title, Prompt, Skip, Pwd);
}

bool AskPasswordOk(const QPoint& APos, const std::string& Title, const std::string& Prompt, std::string& Pwd)
{
    int mode = 0;
    return AskPassword(APos, Title, Prompt, false, false, Pwd, mode) == mrOk;
}

bool AskPasswordAnsiOk(const QPoint& APos, const std::string& Title, const std::string& Prompt,
                       std::string& Pwd)
{
    return AskPasswordAnsiSkip(APos, Title, Prompt, false, Pwd) == mrOk;
}
