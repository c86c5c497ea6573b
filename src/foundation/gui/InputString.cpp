#include "foundation/gui/InputString.h"

#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>
#include <memory>

#include "foundation/gui/WinUtils.h"

TInputStringDialog::TInputStringDialog(QWidget* parent) : TDialogBase(parent)
{
    setObjectName(QStringLiteral("InputStringDialog"));
    setWindowTitle(TrQ("Edit text"));
    Descriptor = new QLabel(this);
    Descriptor->setObjectName(QStringLiteral("Descriptor"));
    TextFeld = new QLineEdit(this);
    TextFeld->setObjectName(QStringLiteral("TextFeld"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Descriptor);
    layout->addWidget(TextFeld);
    layout->addStretch(1);
    AddOkCancel(this, layout);
    resize(380, sizeHint().height());
    defWidth = width();
}

bool TInputStringDialog::Execute(const QPoint& APos, const std::string& Titel, const std::string& Desc,
                                 std::string& AText)
{
    if (!Titel.empty())
        setWindowTitle(QStr(Titel));
    Descriptor->setText(QStr(Desc));
    TextFeld->setToolTip(QStr(Desc));
    TextFeld->setText(QStr(AText));
    TextFeld->setFocus();
    const int margins = width() - TextFeld->width() > 0 ? width() - TextFeld->width() : 20;
    resize(std::max(defWidth, GetTextWidthInFont(TextFeld->text(), TextFeld->font()) +
                                  ScaleToFormDpi(20, this) + margins),
           height());
    PlaceFormAt(this, APos);
    if (exec() != QDialog::Accepted)
        return false;
    AText = StdStr(TextFeld->text());
    return true;
}

bool AskString(const QPoint& APos, const std::string& Titel, const std::string& Desc, std::string& AText)
{
    auto dlg = std::make_unique<TInputStringDialog>();
    return dlg->Execute(APos, Titel, Desc, AText);
}
