#pragma once
// Base of the task settings dialogs: F1 opens the dialog's help page, F11 shows the text hint (else the
// hint) of the focused control, and on show the tool tips follow the program setting.

#include <QPoint>
#include <QString>
#include <string>

#include "foundation/gui/GuiUtils.h"

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QWidget;
class TRangeEdit;

class TTaskDialogBase : public TDialogBase
{
public:
    explicit TTaskDialogBase(const char* helpTopic, QWidget* parent = nullptr);
    // Cancel discards the input: the number edits no longer complain about their ranges when they
    // lose the focus while the dialog closes.
    void reject() override;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;
    QString FocusedHint() const override;

private:
    std::string FHelpTopic;
};

// A hint of a control even while tool tips are switched off.
QString StoredHint(const QWidget* w);
// A button that appends its placeholder (caption) to target; hint is its translatable tool tip.
QPushButton* PlaceholderButton(QWidget* parent, const char* name, const char* caption, const char* hint,
                               QLineEdit* target);
// A read-only line edit with an object name.
QLineEdit* ReadOnlyEdit(QWidget* parent, const char* name);
// Range edit with bounds and a starting value.
TRangeEdit* NewRangeEdit(QWidget* parent, const char* name, int min, int max, int value);
// Places the dialog at APos (a negative coordinate centres it) after its size is known.
void PlaceDialog(QDialog* dialog, const QPoint& APos);

// The group of the security-copy dialogs that says where older versions or deleted items go: four
// places, the separation by drive (and by backup date when asked for) and the folder prefix with the
// folder's suffix beside it.
struct TCopyLocationGroup
{
    QGroupBox* Box;
    QRadioButton* None;
    QRadioButton* SubDir;
    QRadioButton* SepDir;
    QRadioButton* RootDir;
    QCheckBox* RootDate; // nullptr without the date separation
    QCheckBox* RootDrive;
    QLabel* PrefixLabel;
    QLineEdit* Prefix;
    QLineEdit* Dir;
};
TCopyLocationGroup NewCopyLocationGroup(QWidget* dialog, const QString& caption, bool withDate);

// Checks a password and its repetition: false after saying what is wrong ("Minimum length of
// password is %u characters" or "Passwords do not match!") with the focus on the field to correct.
// An empty password passes the length rule when emptyAllowed.
bool CheckPasswordPair(QLineEdit* pwd, QLineEdit* repeat, int minLen, bool emptyAllowed);
