#pragma once
// Settles the setting Language against the language files that exist: the stored name when a
// file carries it exactly (letter case counts); on a first run (nothing stored) the file whose
// declared locale matches the user's; otherwise the file declaring locale=en, then the first
// listed file.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

struct LanguageChoice {
    int32_t index = -1;   // position in the list of names; -1 when there is no language file
    std::string language; // the settled Language (the stored one when there is no file)
};

// names: the language files' names without ".ini", in listed order. localeOf: a file's declared
// locale ("de", "en_GB") or "" when it declares none.
LanguageChoice SettleLanguage(const std::vector<std::string>& names, const std::string& stored,
                              const std::string& userLocale,
                              const std::function<std::string(const std::string&)>& localeOf);

// The user's message locale from LC_ALL, LC_MESSAGES or LANG ("de_DE.UTF-8"), or "".
std::string UserLocale();

// The same over a language folder: its files (modLanguage::ListLanguages) and their declared
// locales (modLanguage::LanguageLocale).
LanguageChoice SettleLanguageInFolder(const std::string& languageFolder, const std::string& stored,
                                      const std::string& userLocale);
