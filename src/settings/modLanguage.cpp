#include "settings/modLanguage.h"

#include "platform/modFileSystem.h"
#include "settings/modConfig.h"

#include "InstallPaths.h"

#include <cassert>
#include <sys/stat.h>

namespace modLanguage {

namespace {

std::string Entry(const std::vector<std::string>& list, int32_t n) {
    // Callers pass fixed numbers; one out of range is a programming error, but the user should
    // see an empty text rather than a crash.
    assert(n >= 1 && static_cast<size_t>(n) <= list.size());
    if (n < 1 || static_cast<size_t>(n) > list.size()) {
        return {};
    }
    return list[static_cast<size_t>(n) - 1];
}

std::vector<std::string> ReadList(const std::string& file, const char* name, int32_t count) {
    std::vector<std::string> list;
    list.reserve(static_cast<size_t>(count));
    for (int32_t n = 1; n <= count; ++n) {
        list.push_back(modConfig::ReadIniValue(
            file, "Main", std::string(name) + "(" + std::to_string(n) + ")", std::string()));
    }
    return list;
}

bool IsFolder(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool IsFile(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

} // namespace

void TextLists::SetStatusbarTexts(std::vector<std::string> texts) {
    m_Statusbar = std::move(texts);
}
void TextLists::SetLogFileTexts(std::vector<std::string> texts) {
    m_LogFile = std::move(texts);
}
void TextLists::SetStatusTexts(std::vector<std::string> texts) {
    m_Status = std::move(texts);
}
void TextLists::SetMessageTexts(std::vector<std::string> texts) {
    m_Message = std::move(texts);
}
void TextLists::SetInputTexts(std::vector<std::string> texts) {
    m_Input = std::move(texts);
}

std::string TextLists::GetStatusbarText(int32_t n) const {
    return Entry(m_Statusbar, n);
}
std::string TextLists::GetLogFileText(int32_t n) const {
    return Entry(m_LogFile, n);
}
std::string TextLists::GetStatusText(int32_t n) const {
    return Entry(m_Status, n);
}
std::string TextLists::GetMessageText(int32_t n) const {
    return Entry(m_Message, n);
}
std::string TextLists::GetInputText(int32_t n) const {
    return Entry(m_Input, n);
}

TextLists& Texts() {
    static TextLists texts;
    return texts;
}

std::string LanguageFolder(const std::string& programFolder) {
    return LanguageFolder(programFolder, VOSTRAND_INSTALLED_LANGUAGE_FOLDER);
}

std::string LanguageFolder(const std::string& programFolder, const std::string& installedFolder) {
    const std::string beside = modFileSystem::AddBackslash(programFolder) + "language/";
    if (IsFolder(beside)) {
        return beside;
    }
    // Installed: <prefix>/bin/program and <prefix>/share/vostrand-uploader/language/.
    std::string bin = programFolder;
    while (bin.size() > 1 && bin.back() == '/') {
        bin.pop_back();
    }
    const std::string shared = modFileSystem::AddBackslash(modFileSystem::GetFolder(bin)) +
                               "share/vostrand-uploader/language/";
    if (IsFolder(shared)) {
        return shared;
    }
    // A program copied or linked elsewhere still finds the files of the prefix it was built for.
    return IsFolder(installedFolder) ? modFileSystem::AddBackslash(installedFolder) : beside;
}

std::string LanguageFilePath(const std::string& languageFolder, const std::string& language) {
    return modFileSystem::AddBackslash(languageFolder) + language + ".ini";
}

std::vector<std::string> ListLanguages(const std::string& languageFolder) {
    std::vector<std::string> names;
    const std::vector<std::string> files = modFileSystem::ListFiles(languageFolder, "*.ini");
    for (size_t i = 1; i < files.size(); ++i) {
        if (IsFile(modFileSystem::AddBackslash(languageFolder) + files[i])) {
            names.push_back(modFileSystem::GetFileName(files[i], true));
        }
    }
    return names;
}

std::string LanguageLocale(const std::string& languageFile) {
    return modConfig::ReadIniValue(languageFile, "Info", "locale", std::string());
}

void LoadTextLists(TextLists& lists, const std::string& languageFile) {
    lists.SetStatusbarTexts(ReadList(languageFile, "Statusbar", 1));
    lists.SetLogFileTexts(ReadList(languageFile, "LogFile", 5));
    lists.SetStatusTexts(ReadList(languageFile, "Status", 21));
    lists.SetMessageTexts(ReadList(languageFile, "Message", 6));
    lists.SetInputTexts(ReadList(languageFile, "Input", 3));
}

std::string FormatMessage(std::string text, const std::vector<std::string>& parameters) {
    for (size_t p = 0; p < parameters.size(); ++p) {
        const std::string placeholder = "{%" + std::to_string(p + 1) + "}";
        const std::string& value = parameters[p];
        size_t pos = 0;
        while ((pos = text.find(placeholder, pos)) != std::string::npos) {
            text.replace(pos, placeholder.size(), value);
            pos += value.size(); // a value that itself holds the placeholder is not expanded again
        }
    }
    return text;
}

int32_t ShowMessage(const TextLists& lists, int32_t n, int32_t buttons,
                    const std::vector<std::string>& parameters, const MessageShower& show) {
    const std::string text = FormatMessage(lists.GetMessageText(n), parameters);
    return show ? show(text, buttons) : 0;
}

} // namespace modLanguage
