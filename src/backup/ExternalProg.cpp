#include "backup/ExternalProg.h"

#include <algorithm>

void ResetExternalProg(int ErrorLevel, TExternalProg& Prog)
{
    Prog.Command.clear();
    Prog.Wait = 0;
    Prog.ErrorLevel = ErrorLevel;
}

std::string CommandForHistory(std::string_view Command)
{
    if (Command.size() >= 2 && Command.front() == '"' && Command.back() == '"' &&
        Command.substr(1, Command.size() - 2).find('"') == std::string_view::npos)
        return std::string(Command.substr(1, Command.size() - 2));
    return std::string(Command);
}

std::string PreCommandFromHistory(std::string_view Entry)
{
    if (Entry.find('"') == std::string_view::npos && Entry.find(' ') != std::string_view::npos &&
        std::count(Entry.begin(), Entry.end(), '.') == 1 && Entry.find('-') == std::string_view::npos &&
        Entry.find('/') == std::string_view::npos)
        return "\"" + std::string(Entry) + "\"";
    return std::string(Entry);
}

std::string PostCommandFromHistory(std::string_view Entry)
{
    if (Entry.find('"') != std::string_view::npos || Entry.find(' ') == std::string_view::npos)
        return std::string(Entry);
    size_t dot = Entry.rfind('.');
    if (dot == std::string_view::npos)
        return std::string(Entry);
    std::string_view ext = Entry.substr(dot + 1);
    if (ext.empty() || ext.find(' ') != std::string_view::npos)
        return std::string(Entry);
    return "\"" + std::string(Entry) + "\"";
}
