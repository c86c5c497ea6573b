#include "foundation/gui/TextDlg.h"

#include <QCheckBox>
#include <QFrame>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QTimer>
#include <QVBoxLayout>
#include <memory>

#include "foundation/gui/WinUtils.h"

TTextEingabe::TTextEingabe(QWidget* parent) : TDialogBase(parent)
{
    setObjectName(QStringLiteral("TextEingabe"));
    Rahmen = new QFrame(this);
    Rahmen->setObjectName(QStringLiteral("Rahmen"));
    Rahmen->setFrameShape(QFrame::StyledPanel);
    Descriptor1 = new QLabel(Rahmen);
    Descriptor1->setObjectName(QStringLiteral("Descriptor1"));
    TextFeld1 = new QLineEdit(Rahmen);
    TextFeld1->setObjectName(QStringLiteral("TextFeld1"));
    Descriptor2 = new QLabel(Rahmen);
    Descriptor2->setObjectName(QStringLiteral("Descriptor2"));
    Textfeld2 = new QLineEdit(Rahmen);
    Textfeld2->setObjectName(QStringLiteral("Textfeld2"));
    Switch = new QCheckBox(Rahmen);
    Switch->setObjectName(QStringLiteral("Switch"));
    auto* grid = new QGridLayout(Rahmen);
    grid->addWidget(Descriptor1, 0, 0);
    grid->addWidget(TextFeld1, 1, 0);
    grid->addWidget(Descriptor2, 0, 1);
    grid->addWidget(Textfeld2, 1, 1);
    grid->addWidget(Switch, 2, 0, 1, 2);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Rahmen);
    AddOkCancel(this, layout);
    resize(380, sizeHint().height());
}

bool TTextEingabe::Execute(const QPoint& APos, const std::string& Titel, const std::string& Desc1,
                           const std::string& Desc2, const std::string& SwDesc, std::string& AText,
                           std::string& BText, TSwitchMode& TSw)
{
    setWindowTitle(QStr(Titel));
    Switch->setVisible(TSw != tsNotVis);
    Switch->setChecked(TSw == tsOn);
    Switch->setText(QStr(SwDesc));
    const bool two = !Desc2.empty();
    Descriptor2->setVisible(two);
    Textfeld2->setVisible(two);
    TextFeld1->setText(QStr(AText));
    TextFeld1->setToolTip(QStr(Desc1));
    if (two) {
        TextFeld1->setFixedWidth(166);
        Textfeld2->setFixedWidth(166);
        Textfeld2->setText(QStr(BText));
        Textfeld2->setToolTip(QStr(Desc2));
        Descriptor2->setText(QStr(Desc2));
    }
    Descriptor1->setText(QStr(Desc1));
    TextFeld1->setFocus();
    TextFeld1->selectAll();
    adjustSize();
    PlaceFormAt(this, APos);
    if (exec() != QDialog::Accepted)
        return false;
    AText = StdStr(TextFeld1->text());
    if (two)
        BText = StdStr(Textfeld2->text());
    if (TSw != tsNotVis)
        TSw = Switch->isChecked() ? tsOn : tsOff;
    return true;
}

bool AskText(const QPoint& APos, const std::string& Titel, const std::string& Desc1, std::string& AText)
{
    auto dlg = std::make_unique<TTextEingabe>();
    std::string b;
    TSwitchMode sw = tsNotVis;
    return dlg->Execute(APos, Titel, Desc1, "", "", AText, b, sw);
}
