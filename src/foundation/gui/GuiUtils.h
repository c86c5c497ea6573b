#pragma once
// Small pieces every form of the foundation's dialogs shares: string conversion at the Qt boundary,
// translated texts, the exception guard of slots and event handlers, and the dialog base with the
// common keys (Esc cancels, Enter confirms, F11 shows the focused control's hint).

#include <QDialog>
#include <QString>
#include <exception>
#include <string>
#include <string_view>

#include "rtl/Gettext.h"
#include "rtl/SysUtils.h"

class QWidget;
class QPushButton;
class QBoxLayout;

inline QString QStr(std::string_view s)
{
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

inline std::string StdStr(const QString& s)
{
    return s.toStdString();
}

// The translated text as a QString.
inline QString TrQ(std::string_view msgid)
{
    return QStr(_(msgid));
}

// True when a QApplication exists, so that windows can be shown; without one (batch runs) every
// dialog routine answers as if nobody is present (Cancel).
bool GuiAvailable();

// Shows an exception that reached a slot or an event handler and swallows it.
void ReportGuiException(const std::exception* e) noexcept;

// Runs body and keeps every exception inside: slots and event handlers call their work through it.
template <typename F> void GuardSlot(F&& body) noexcept
{
    try {
        body();
    } catch (const std::exception& e) {
        ReportGuiException(&e);
    } catch (...) {
        ReportGuiException(nullptr);
    }
}

// The hint of a control: its tool tip.
QString ControlHint(const QWidget* w);

// Base of the modal dialogs: F11 shows the focused control's hint in a self-closing box.
class TDialogBase : public QDialog
{
public:
    explicit TDialogBase(QWidget* parent = nullptr);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    // The hint that F11 shows for the focused control (its tool tip by default).
    virtual QString FocusedHint() const;
};

// Appends a right-aligned row with an OK button (the default, named "OKBtn") and a Cancel button
// (named "CancelBtn") to layout; OK accepts, Cancel rejects the dialog.
struct TOkCancel
{
    QPushButton* OK;
    QPushButton* Cancel;
};
TOkCancel AddOkCancel(QDialog* dialog, QBoxLayout* layout, const QString& okText = QString());
