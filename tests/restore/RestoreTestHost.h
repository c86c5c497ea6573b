#pragma once
// A host of the restore engine for tests: answers the password prompts from a queue (Cancel when it
// is empty), every question with a fixed answer, and records what the engine showed.

#include <deque>
#include <string>
#include <utility>
#include <vector>

#include "restore/RestoreEngine.h"

class TRecordingHost : public IRestoreHost
{
public:
    std::deque<std::pair<TPromptResult, std::string>> Passwords;
    bool ConfirmAnswer = true;
    std::vector<std::string> Prompts, Questions, Errors, Infos, DetailInfos;
    std::vector<std::string> Details; // the lines of the last details box
    TStringList PreviewLines;
    std::string PreviewHint;
    int Previews = 0;

    TPromptResult AskPassword(const std::string& prompt, bool skip, std::string& pwd) override
    {
        Prompts.push_back(prompt + (skip ? " [Skip]" : ""));
        if (Passwords.empty())
            return prCancel;
        auto [result, text] = Passwords.front();
        Passwords.pop_front();
        pwd = text;
        return result;
    }
    bool Confirm(const std::string& text) override
    {
        Questions.push_back(text);
        return ConfirmAnswer;
    }
    void ShowError(const std::string& text) override { Errors.push_back(text); }
    void ShowInfo(const std::string& text) override { Infos.push_back(text); }
    void ShowDetails(const std::string& info, const TStringList& details) override
    {
        DetailInfos.push_back(info);
        Details.clear();
        for (int i = 0; i < details.Count(); ++i)
            Details.push_back(details[i]);
    }
    void ShowPreview(const std::string&, const std::string&, const std::string& hint, bool,
                     const TStringList& lines) override
    {
        ++Previews;
        PreviewHint = hint;
        PreviewLines.Clear();
        PreviewLines.AddStrings(lines);
    }
};
