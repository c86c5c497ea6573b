#pragma once
// The questions and messages of the task editor's commands as the program's dialogs: the message box,
// the file and folder choosers, the password boxes, the FTP settings and the list of items to tick.

#include <string>
#include <vector>

#include "backup/TaskEditor.h"

class QWidget;

class TEditorDialogs : public ITaskEditorDialogs
{
public:
    explicit TEditorDialogs(QWidget* owner) : FOwner(owner) {}
    void ShowError(const std::string& text) override;
    void ShowInfo(const std::string& text) override;
    bool AskYesNo(const std::string& text) override;
    TEditorAnswer AskYesNoCancel(const std::string& text) override;
    bool AskOkCancel(const std::string& text) override;
    int AskChoice(const std::string& caption, const std::string& text,
                  const std::vector<std::string>& buttons) override;
    bool ChooseTaskFile(TTaskFileDialog kind, const std::string& title, const std::string& dir,
                        std::string& file) override;
    bool ChooseFolder(const std::string& title, const std::string& start, std::string& folder) override;
    bool AskPassword(const std::string& title, const std::string& prompt, std::string& pwd) override;
    bool AskNewPassword(const std::string& title, int minLength, std::string& pwd) override;
    bool EditFtpSettings(TFtpParams& params) override;
    bool TickItems(const std::string& title, const std::string& desc, const std::string& caption,
                   const std::vector<std::string>& items, std::vector<int>& ticked) override;
    // A log file in the log folder (the viewer's "Show other ..."); false when cancelled.
    // Several task files (the shortcut for several tasks); empty when cancelled.
    virtual std::vector<std::string> ChooseTaskFiles(const std::string& title, const std::string& dir);
    virtual bool ChooseLogFile(const std::string& title, const std::string& dir, std::string& file);

protected:
    QWidget* FOwner;
};
