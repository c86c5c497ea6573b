#include "backup/gui/EditorDialogs.h"

#include <QFileDialog>
#include <QWidget>

#include "backup/gui/BuFtpDlg.h"
#include "foundation/PathUtils.h"
#include "foundation/gui/GuiUtils.h"
#include "foundation/gui/NewPwdDlg.h"
#include "foundation/gui/PwdDlg.h"
#include "foundation/gui/SelectDlg.h"
#include "foundation/gui/SelectListItems.h"
#include "foundation/gui/ShellDirDlg.h"
#include "foundation/gui/ShowMessageDlg.h"
#include "rtl/Gettext.h"
#include "rtl/StringList.h"
#include "rtl/SysUtils.h"

void TEditorDialogs::ShowError(const std::string& text)
{
    ErrorDialog(text);
}

void TEditorDialogs::ShowInfo(const std::string& text)
{
    InfoDialog(text);
}

bool TEditorDialogs::AskYesNo(const std::string& text)
{
    return ConfirmDialog(text);
}

TEditorAnswer TEditorDialogs::AskYesNoCancel(const std::string& text)
{
    const TModalResult r = MsgDialog(text, mdtConfirmYesNo);
    return r == mrYes ? eaYes : r == mrNo ? eaNo : eaCancel;
}

bool TEditorDialogs::AskOkCancel(const std::string& text)
{
    return MsgDialog(text, mdtConfirmError) == mrOk;
}

int TEditorDialogs::AskChoice(const std::string& caption, const std::string& text,
                              const std::vector<std::string>& buttons)
{
    return SelectChoice(caption, text, mtConfirmation, false, buttons, "", 0, 0, "");
}

bool TEditorDialogs::ChooseTaskFile(TTaskFileDialog kind, const std::string& title, const std::string& dir,
                                    std::string& file)
{
    QFileDialog chooser(FOwner, QStr(title), QStr(dir));
    chooser.setOption(QFileDialog::DontUseNativeDialog, true);
    chooser.setNameFilters(
        {QStr(SafeFormat(_("Backup tasks (*.%s)"), {std::string("buj")})), TrQ("all (*)")});
    chooser.setDefaultSuffix(QStringLiteral("buj"));
    const bool save = kind == tfSave || kind == tfExport;
    chooser.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    chooser.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    if (!file.empty())
        chooser.selectFile(QStr(file));
    if (chooser.exec() != QDialog::Accepted || chooser.selectedFiles().isEmpty())
        return false;
    file = StdStr(chooser.selectedFiles().first());
    return true;
}

std::vector<std::string> TEditorDialogs::ChooseTaskFiles(const std::string& title, const std::string& dir)
{
    QFileDialog chooser(FOwner, QStr(title), QStr(dir));
    chooser.setOption(QFileDialog::DontUseNativeDialog, true);
    chooser.setNameFilters(
        {QStr(SafeFormat(_("Backup tasks (*.%s)"), {std::string("buj")})), TrQ("all (*)")});
    chooser.setFileMode(QFileDialog::ExistingFiles);
    std::vector<std::string> files;
    if (chooser.exec() == QDialog::Accepted)
        for (const QString& f : chooser.selectedFiles())
            files.push_back(StdStr(f));
    return files;
}

bool TEditorDialogs::ChooseLogFile(const std::string& title, const std::string& dir, std::string& file)
{
    QFileDialog chooser(FOwner, QStr(title), QStr(dir));
    chooser.setOption(QFileDialog::DontUseNativeDialog, true);
    chooser.setNameFilters({QStr(SafeFormat(_("Log files (*.%s)"), {std::string("log")})), TrQ("all (*)")});
    chooser.setDefaultSuffix(QStringLiteral("log"));
    chooser.setFileMode(QFileDialog::ExistingFile);
    if (chooser.exec() != QDialog::Accepted || chooser.selectedFiles().isEmpty())
        return false;
    file = StdStr(chooser.selectedFiles().first());
    return true;
}

bool TEditorDialogs::ChooseFolder(const std::string& title, const std::string& start, std::string& folder)
{
    std::string dir = start;
    if (!SelectFolder(title, false, false, start, dir))
        return false;
    folder = dir;
    return true;
}

bool TEditorDialogs::AskPassword(const std::string& title, const std::string& prompt, std::string& pwd)
{
    return AskPasswordCentered(title, prompt, false, pwd) == mrOk;
}

bool TEditorDialogs::AskNewPassword(const std::string& title, int minLength, std::string& pwd)
{
    return ::AskNewPassword(title, pwd, true, false, minLength);
}

bool TEditorDialogs::EditFtpSettings(TFtpParams& params)
{
    return ShowFtpDialog(params, true, 0);
}

bool TEditorDialogs::TickItems(const std::string& title, const std::string& desc, const std::string& caption,
                               const std::vector<std::string>& items, std::vector<int>& ticked)
{
    TStringList list;
    for (const auto& item : items)
        list.Add(item);
    QPoint pos = FOwner ? FOwner->mapToGlobal(QPoint(0, FOwner->height())) : QPoint();
    if (!ChooseListItems(pos, title, desc, caption, list))
        return false;
    ticked.clear();
    for (int i = 0; i < list.Count(); ++i)
        if (list.Objects(i) != 0)
            ticked.push_back(i);
    return true;
}
