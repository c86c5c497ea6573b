#pragma once
// Language of the user interface: chosen on the command line, in the configuration file
// "Vastrel.cfg" ([Language] LangID) or from the environment, and switched at run time by loading
// the message catalogue <locale>/<code>/LC_MESSAGES/<domain>.mo.

#include <functional>
#include <string>
#include <utility>
#include <vector>

// Full name of the configuration file.
extern std::string LanguageCfgFile;
// Two-letter code of the chosen language; empty = the system's.
extern std::string LanguageCode;
// False when the language was forced on the command line: the choice is then never saved.
extern bool LanguageMaySave;

// Called before the first window: the configuration file is CfgName (ProgramName + ".cfg" when
// empty) in SubPath (relative: below the application-data folder). Domains name the catalogues.
void InitTranslation(const std::string& SubPath, const std::string& CfgName,
                     const std::vector<std::string>& Domains);
// The language of the environment (LANGUAGE, LC_ALL, LC_MESSAGES, LANG); "en" when none is set.
std::string GetSystemLanguage();
// Reads the options lang, ini and portable of Args (the program's arguments when not given) and the
// configuration file; LangCode is empty when neither names a language.
void ReadLanguageOptions(std::string& LangCode);
void ReadLanguageOptions(std::string& LangCode, const std::vector<std::string>& Args);
// ReadLanguageOptions, else GetSystemLanguage; stored in LanguageCode.
void GetInitialLanguage(std::string& LangCode);
void SaveLanguageCode(const std::string& LangCode);
// Saves the choice, loads the catalogues of LangCode and tells the language-change handler (the GUI
// re-translates its open windows there).
void ChangeLanguage(const std::string& LangCode);
// Loads the catalogue of LangCode (empty: of the system language); English when there is none.
// True when a catalogue was found.
bool UseLanguage(const std::string& LangCode);
// The folders searched for catalogues, in order.
std::vector<std::string> LocaleFolders();
void SetLanguageChangedHandler(std::function<void(const std::string& LangCode)> handler);
// Each %NAME% replaced by the environment value NAME (undefined = nothing), ignoring case of the
// surrounding text; a percent sign without a partner ends the replacement.
std::string ExpandIniPathVars(const std::string& Text);

// The list of available translations read from "Language.cfg": display names with their codes.
class TLanguageList
{
public:
    TLanguageList(const std::string& APath, const std::string& Filename);

    int Count() const { return static_cast<int>(FItems.size()); }
    const std::string& Names(int Index) const { return FItems.at(Index).first; }
    std::string GetLangCode(int Index) const { return FItems.at(Index).second; }
    // Replaces the names by those of the translated list of LangCode and selects it; true when that
    // list exists.
    bool LoadLanguageNames(const std::string& LangCode);

    const std::string& CurrentLanguage() const { return FCurrentLanguage; }
    const std::string& SelectedLanguageCode() const { return FLangCode; }
    void SetSelectedLanguageCode(const std::string& Code);

private:
    void LoadList();
    std::vector<std::pair<std::string, std::string>> FItems;
    std::string FLangCode;
    std::string FCurrentLanguage;
    std::string FPath;
    std::string FName;
};
