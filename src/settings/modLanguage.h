#pragma once
// The five numbered text lists of the active language file and the message formatting.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace modLanguage {

// Message box flags the callers pass, and the answer that means Yes.
constexpr int32_t MB_WARNING_OK = 48;
constexpr int32_t MB_ERROR_OK = 16;
constexpr int32_t MB_QUESTION_YESNO = 36;
constexpr int32_t ID_YES = 6;
constexpr int32_t ID_NO = 7;

class TextLists {
public:
    void SetStatusbarTexts(std::vector<std::string> texts);
    void SetLogFileTexts(std::vector<std::string> texts);
    void SetStatusTexts(std::vector<std::string> texts);
    void SetMessageTexts(std::vector<std::string> texts);
    void SetInputTexts(std::vector<std::string> texts);

    // n counts from 1; a number outside the list gives "" (and asserts in debug builds).
    std::string GetStatusbarText(int32_t n) const;
    std::string GetLogFileText(int32_t n) const;
    std::string GetStatusText(int32_t n) const;
    std::string GetMessageText(int32_t n) const;
    std::string GetInputText(int32_t n) const;

private:
    std::vector<std::string> m_Statusbar, m_LogFile, m_Status, m_Message, m_Input;
};

// The lists of the active language (the windows and the CLI use it; core objects are handed a
// reference).
TextLists& Texts();

// language/ beside the executable, else <prefix>/share/vostrand-uploader/language/ with the prefix
// above the executable's folder, else installedFolder (by default the one under the prefix the
// build was configured for); language/ beside the executable when none of them exists.
std::string LanguageFolder(const std::string& programFolder);
std::string LanguageFolder(const std::string& programFolder, const std::string& installedFolder);
// folder + name + ".ini".
std::string LanguageFilePath(const std::string& languageFolder, const std::string& language);
// The languages of the folder: names of the "*.ini" files without ".ini" (text from the last dot
// on removed), in file name order; empty when there are none.
std::vector<std::string> ListLanguages(const std::string& languageFolder);
// The file's "locale" key in section "Info" ("de", "en"), or "".
std::string LanguageLocale(const std::string& languageFile);

// Rebuilds the five lists from section "Main" of the file; a missing file or key gives "".
void LoadTextLists(TextLists& lists, const std::string& languageFile);

// Replaces "{%1}", "{%2}"… by the parameters, in order, over the text as changed so far.
std::string FormatMessage(std::string text, const std::vector<std::string>& parameters);

// Shows the text with the flags and returns the button pressed.
using MessageShower = std::function<int32_t(const std::string& text, int32_t buttons)>;
int32_t ShowMessage(const TextLists& lists, int32_t n, int32_t buttons,
                    const std::vector<std::string>& parameters, const MessageShower& show);

} // namespace modLanguage
