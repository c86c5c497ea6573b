#pragma once
// Asking for one or two texts, with an optional switch.

#include <QPoint>
#include <string>

#include "foundation/gui/GuiUtils.h"

class QCheckBox;
class QFrame;
class QLabel;
class QLineEdit;

enum TSwitchMode
{
    tsNotVis,
    tsOff,
    tsOn
};

class TTextEingabe : public TDialogBase
{
public:
    explicit TTextEingabe(QWidget* parent = nullptr);
    bool Execute(const QPoint& APos, const std::string& Titel, const std::string& Desc1,
                 const std::string& Desc2, const std::string& SwDesc, std::string& AText, std::string& BText,
                 TSwitchMode& TSw);

private:
    QFrame* Rahmen;
    QLabel* Descriptor1;
    QLineEdit* TextFeld1;
    QLabel* Descriptor2;
    QLineEdit* Textfeld2;
    QCheckBox* Switch;
};

bool AskText(const QPoint& APos, const std::string& Titel, const std::string& Desc1, std::string& AText);
