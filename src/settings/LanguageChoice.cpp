#include "settings/LanguageChoice.h"

#include "settings/modLanguage.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

namespace {
// "de_DE.UTF-8@euro" and "de-de" both become "de_de".
std::string NormaliseLocale(const std::string& locale) {
    std::string result = locale.substr(0, locale.find_first_of(".@"));
    for (char& c : result) {
        c = c == '-' ? '_' : static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return result;
}

std::string LanguagePart(const std::string& normalised) {
    return normalised.substr(0, normalised.find('_'));
}
} // namespace

LanguageChoice SettleLanguage(const std::vector<std::string>& names, const std::string& stored,
                              const std::string& userLocale,
                              const std::function<std::string(const std::string&)>& localeOf) {
    if (names.empty()) {
        return {-1, stored};
    }
    for (size_t i = 0; i < names.size(); ++i) {
        if (names[i] == stored) {
            return {static_cast<int32_t>(i), names[i]};
        }
    }
    std::vector<std::string> declared;
    for (const auto& name : names) {
        declared.push_back(localeOf ? NormaliseLocale(localeOf(name)) : std::string());
    }
    const std::string user = NormaliseLocale(userLocale);
    if (stored.empty() && !user.empty() && user != "c" && user != "posix") {
        // A file for the user's exact region wins over one for the language alone.
        for (size_t i = 0; i < names.size(); ++i) {
            if (!declared[i].empty() && declared[i] == user) {
                return {static_cast<int32_t>(i), names[i]};
            }
        }
        for (size_t i = 0; i < names.size(); ++i) {
            if (!declared[i].empty() && LanguagePart(declared[i]) == LanguagePart(user)) {
                return {static_cast<int32_t>(i), names[i]};
            }
        }
    }
    // English is the language a user without a match most likely reads.
    for (size_t i = 0; i < names.size(); ++i) {
        if (declared[i] == "en") {
            return {static_cast<int32_t>(i), names[i]};
        }
    }
    return {0, names.front()};
}

std::string UserLocale() {
    for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(variable);
        if (value != nullptr && *value != '\0') {
            return value;
        }
    }
    return {};
}

LanguageChoice SettleLanguageInFolder(const std::string& languageFolder, const std::string& stored,
                                      const std::string& userLocale) {
    return SettleLanguage(modLanguage::ListLanguages(languageFolder), stored, userLocale,
                          [&](const std::string& name) {
                              return modLanguage::LanguageLocale(
                                  modLanguage::LanguageFilePath(languageFolder, name));
                          });
}
