// Pictures of the foundation's dialogs and controls (support/gui/Screenshots.h).
#include "support/gui/Screenshots.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFormLayout>
#include <QLineEdit>
#include <QListWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <cstdio>
#include <functional>

#include "foundation/gui/CharTableDlg.h"
#include "foundation/gui/CheckBoxes.h"
#include "foundation/gui/EditHistListDlg.h"
#include "foundation/gui/FilterDlg.h"
#include "foundation/gui/Indicators.h"
#include "foundation/gui/InpText.h"
#include "foundation/gui/InputString.h"
#include "foundation/gui/LogonDlg.h"
#include "foundation/gui/MemoDlg.h"
#include "foundation/gui/NewPwdDlg.h"
#include "foundation/gui/NumberEd.h"
#include "foundation/gui/PhDlg.h"
#include "foundation/gui/Prgrss.h"
#include "foundation/gui/PwdDlg.h"
#include "foundation/gui/SelectDlg.h"
#include "foundation/gui/SelectFromListDlg.h"
#include "foundation/gui/ShowMemo.h"
#include "foundation/gui/ShowMessageDlg.h"
#include "foundation/gui/StatWind.h"
#include "foundation/gui/StyleUtils.h"
#include "foundation/gui/TextDlg.h"
#include "foundation/gui/WinUtils.h"
#include "support/gui/GuiTestUtil.h"
#include <fstream>

namespace {
// Registers the picture of a modal dialog that show opens.
void Modal(const char* name, std::function<void()> show)
{
    TScreenshotShow(name, [show](const TScreenshotSaver& save) { ScreenshotModal(save, show); });
}

void Controls(const TScreenshotSaver& save)
{
    QWidget w;
    w.setWindowTitle(QStringLiteral("Controls"));
    auto* form = new QFormLayout(&w);
    auto* days = new TCheckComboBox(&w);
    for (const char* d : {"Monday|Mon", "Tuesday|Tue", "Wednesday|Wed", "Thursday|Thu", "Friday|Fri"})
        days->AddChecked(d, d[0] == 'M' || d[0] == 'F');
    form->addRow(QStringLiteral("Weekdays:"), days);
    auto* range = new TRangeEdit(&w);
    range->SetMaxValue(999);
    range->SetValue(42);
    form->addRow(QStringLiteral("Count:"), range);
    auto* hex = new TNumberEdit(&w);
    hex->SetBits(16);
    hex->SetNumMode(nmHex);
    hex->SetBytes(true);
    hex->SetValue(0x1234);
    form->addRow(QStringLiteral("Bytes:"), hex);
    auto* fl = new TFloatEdit(&w);
    fl->SetValue(2.5);
    form->addRow(QStringLiteral("Margin (cm):"), fl);
    auto* group = new TCheckGroupBox(&w);
    group->SetCaption("Run program before backup");
    auto* gl = new QVBoxLayout(group);
    gl->addWidget(new QLineEdit(QStringLiteral("/usr/bin/true"), group));
    form->addRow(group);
    auto* off = new TCheckGroupBox(&w);
    off->SetCaption("Run program after backup");
    auto* ol = new QVBoxLayout(off);
    ol->addWidget(new QLineEdit(QStringLiteral("disabled"), off));
    off->SetChecked(false);
    form->addRow(off);
    auto* bar = new TNewProgressBar(&w);
    bar->setFixedSize(200, 11);
    bar->SetPosition(60);
    form->addRow(QStringLiteral("Progress:"), bar);
    auto* lamps = new QWidget(&w);
    auto* ll = new QHBoxLayout(lamps);
    auto* spot = new TSpotIndicator(lamps);
    spot->setFixedSize(16, 16);
    spot->SetIndicate(true);
    auto* lamp = new TLamp(lamps);
    lamp->setFixedSize(16, 16);
    ll->addWidget(spot);
    ll->addWidget(lamp);
    ll->addStretch(1);
    form->addRow(QStringLiteral("Lamps:"), lamps);
    w.resize(360, w.sizeHint().height());
    w.show();
    save(&w);
}

bool RegisterAll()
{
    Modal("msgbox-confirm", [] {
        ConfirmYesNoDialogAt(DefaultFormPos, "The task \"Documents\" was changed.\r\nSave the changes?",
                             mbYes);
    });
    Modal("msgbox-error",
          [] { ErrorDialog("Error writing to \"/backup/archive.zip\"\r\nNo space left on device"); });
    Modal("msgbox-hint", [] { MsgDialog("Number of days to keep older versions", mdtCustom); });
    TScreenshotShow("statuswindow", [](const TScreenshotSaver& save) {
        TStatusWindow w;
        w.ShowStatus(DefaultFormPos, "Scanning", "Scanning source folders ...", true, -1);
        w.SetInfo("/home/user/Documents/Projects/2024/report.odt");
        w.SetProgress(40);
        save(&w);
        w.hide();
    });
    TScreenshotShow("controls", Controls);
    Modal("memo", [] {
        std::string t = "jpg,png,\"my files, old\",zip";
        EditCommaList(DefaultFormPos, "File types", "One type per line:", t);
    });
    Modal("inputstring", [] {
        std::string t = "Documents backup";
        AskString(DefaultFormPos, "Task name", "Name of the task:", t);
    });
    Modal("textdlg", [] {
        TTextEingabe d;
        std::string a = "backup", b = "server";
        TSwitchMode sw = tsOn;
        d.Execute(DefaultFormPos, "Account", "User name:", "Host:", "Remember the account", a, b, sw);
    });
    Modal("inptext", [] {
        TStringList h{"*.tmp", "*.bak"};
        std::string t = "*.log";
        InputTextHistory(DefaultFormPos, "Filter", "Files to exclude:", true, "", &h, false, t);
    });
    Modal("edithistlist", [] {
        TStringList l{"/backup/daily", "/backup/weekly", "/media/usb/backup"};
        int i = 1;
        EditHistoryList(DefaultFormPos, "Destinations", "Recently used destinations:", l, true, true, i);
    });
    Modal("chartable", [] { SelectCharacter(DefaultFormPos, ""); });
    Modal("placeholder", [] { SelectPlaceholder(DefaultFormPos, ptPostEx, ""); });
    Modal("password", [] {
        std::string p;
        int mode = 0;
        AskPassword(DefaultFormPos, "Encrypted backup",
                    "Enter the password of\r\n\"/backup/docs.zip\":", true, true, p, mode);
    });
    Modal("newpassword", [] {
        std::string p = "Tr0ub4dor&3";
        AskNewPassword("Encryption password", p, true, true, 8);
    });
    Modal("selectchoice", [] {
        SelectChoice("Delete files", "Delete the selected files?", mtConfirmation, false,
                     {"Definitely", "To recycle bin", "Only empty folders", "Skip"}, "Apply to all files", 0,
                     0, "");
    });
    Modal("selectfromlist", [] {
        TStringList l{"*.tmp", "*.bak", "~*", "thumbs.db"};
        std::string t = "*.bak";
        SelectFromList(DefaultFormPos, "File masks",
                       "Files to exclude:", "Order matters for the first match.",
                       SelectOption(soEdit) | SelectOption(soOrder) | SelectOption(soDelAll), 1, tcNone,
                       "*.tmp,*.bak", l, t);
    });
    Modal("filter", [] {
        TTextFilter f;
        f.SetMode(fmInclude);
        f.SetFilter("+*.doc|report*");
        EditTextFilter("Text filter dialog", "Files to back up", true, true, f);
    });
    Modal("viewer", [] {
        const std::string file = QDir::tempPath().toStdString() + "/vastrel-viewer-sample.log";
        std::ofstream(file) << "Vastrel - 2024-05-04 10:00 Backup \"Documents\"\n"
                            << "  Source: /home/user/Documents\n  Destination: /media/usb/backup\n"
                            << "  *** Error copying \"report.odt\": Permission denied\n"
                            << "  1234 files copied, 1 error\n";
        TPrinterSettings p;
        InitPrinterSettings(p);
        ShowTextFile("Task log", file, "Previous section", "Next section", "Vastrel -", "Previous error",
                     "Next error", "  *** ", "Log files|*.log", IgnoreSavedPos, 1, stModal, 255, p, 0);
        std::remove(file.c_str());
    });
    Modal("logon", [] {
        std::string u = "backup", p;
        AskLogon("Connect to", "Account for //server/share", true, u, p);
    });
    return true;
}
const bool registered = RegisterAll();
} // namespace
