// The numbered texts, message placeholders, the language folder and the shipped language files.
#include "settings/LanguageKeys.h"
#include "settings/modConfig.h"
#include "settings/modLanguage.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <tuple>

using namespace modLanguage;
using testsupport::TempDir;
using Names = std::vector<std::string>;

namespace {

TEST(FormatMessageTest, FillsNumberedPlaceholdersInParameterOrder) {
    // text, parameters, result
    const std::tuple<const char*, Names, const char*> rows[] = {
        {"{%1} is {%2} MB", {"a.bin", "100"}, "a.bin is 100 MB"},
        {"{%1} is {%2} MB", {"a.bin"}, "a.bin is {%2} MB"}, // no parameter: stays
        {"{%1} and {%1}", {"x"}, "x and x"},
        {"{%2}{%1}", {"1", "2"}, "21"},
        {"{%1}", {"{%1}{%1}"}, "{%1}{%1}"},           // a value is not expanded again
        {"{%01} {%1 } {%1}", {"x"}, "{%01} {%1 } x"}, // the search is exact
        {"{%10} {%1}", {"a", "b", "c", "d", "e", "f", "g", "h", "i", "j"}, "j a"},
    };
    for (const auto& [text, parameters, expected] : rows) {
        EXPECT_EQ(FormatMessage(text, parameters), expected) << text;
    }
}

TEST(TextListsTest, LoadsTheFiveListsAndAMissingKeyIsEmpty) {
    TempDir dir;
    const std::string file = dir.WriteFile(
        "Test.ini", "[main]\nStatusbar(1)=Loading\nLogFile(5)=Delete\nInput(3)=Password:\n"
                    "Message(6)=\"{%1} is already listed\"\nstatus(6)=S6\nStatus(21)=S21\n"
                    "[Config]\nStatus(7)=wrong section\n");
    using Get = std::string (TextLists::*)(int32_t) const;
    const std::tuple<Get, int32_t, const char*> rows[] = {
        {&TextLists::GetStatusbarText, 1, "Loading"},
        {&TextLists::GetLogFileText, 5, "Delete"},
        {&TextLists::GetLogFileText, 1, ""},
        {&TextLists::GetStatusText, 6, "S6"},
        {&TextLists::GetStatusText, 7, ""},
        {&TextLists::GetStatusText, 21, "S21"},
        {&TextLists::GetInputText, 3, "Password:"},
        {&TextLists::GetMessageText, 6, "{%1} is already listed"}};
    TextLists lists;
    LoadTextLists(lists, file);
    for (const auto& [get, n, text] : rows) {
        EXPECT_EQ((lists.*get)(n), text) << n;
    }
    std::string shown;
    const auto show = [&shown](const std::string& text, int32_t buttons) {
        shown = text + " / " + std::to_string(buttons);
        return ID_YES;
    };
    EXPECT_EQ(ShowMessage(lists, 6, MB_QUESTION_YESNO, {"a.bin"}, show), ID_YES);
    EXPECT_EQ(shown, "a.bin is already listed / 36");

    // Loading again replaces the lists whole: a missing file empties every text.
    LoadTextLists(lists, dir.FilePath("Missing.ini"));
    for (const auto& [get, n, text] : rows) {
        EXPECT_EQ((lists.*get)(n), "") << n;
    }

    // A number outside a list is the caller's mistake: empty text rather than a crash.
    std::string beyond = "unchanged";
    EXPECT_DEBUG_DEATH(beyond = lists.GetStatusText(22), "");
#ifdef NDEBUG
    EXPECT_EQ(beyond, "");
    EXPECT_EQ(lists.GetStatusText(0), "");
#endif
}

TEST(LanguageFolderTest, BesideTheProgramElseUnderTheInstallPrefix) {
    TempDir dir;
    const std::string bin = dir.FilePath("bin");
    const std::string shared = dir.FilePath("share/vostrand-uploader/language");
    const std::string built = dir.FilePath("usr/share/vostrand-uploader/language");
    std::filesystem::create_directories(bin);
    EXPECT_EQ(LanguageFolder(bin, built), bin + "/language/"); // none exists
    std::filesystem::create_directories(built);
    EXPECT_EQ(LanguageFolder(bin, built), built + "/");
    std::filesystem::create_directories(shared);
    EXPECT_EQ(LanguageFolder(bin, built), shared + "/");
    EXPECT_EQ(LanguageFolder(bin + "/", built), shared + "/");
    std::filesystem::create_directories(bin + "/language");
    EXPECT_EQ(LanguageFolder(bin, built), bin + "/language/");
    EXPECT_EQ(LanguageFilePath(bin + "/language", "English"), bin + "/language/English.ini");
}

TEST(LanguageFolderTest, ListsLanguageFilesByNameAndReadsTheirLocale) {
    TempDir dir;
    dir.WriteFile("English.ini", "[Info]\nlocale=en\n");
    dir.WriteFile("deutsch.ini", "[Info]\nlocale=de\n");
    dir.WriteFile("en.US.ini", "[Info]\nlocale=en_US\n");
    dir.WriteFile("readme.txt", "");
    std::filesystem::create_directories(dir.FilePath("old.ini")); // a folder is no language
    EXPECT_EQ(ListLanguages(dir.Path()), (Names{"deutsch", "en.US", "English"}));
    EXPECT_EQ(ListLanguages(dir.FilePath("none")), Names{});
    EXPECT_EQ(ListLanguages(VOSTRAND_SOURCE_DIR "/language"), (Names{"Deutsch", "English"}));
    EXPECT_EQ(LanguageLocale(dir.FilePath("readme.txt")), "");
}

std::string ShippedFile(const std::string& name) {
    return VOSTRAND_SOURCE_DIR "/language/" + name + ".ini";
}

// The placeholders a text holds: "{%1}" in the messages, a bare "%1" in the panel texts.
std::set<std::string> Placeholders(const std::string& text) {
    static const std::regex placeholder(R"(\{%\d+\}|%\d+)");
    return {std::sregex_token_iterator(text.begin(), text.end(), placeholder),
            std::sregex_token_iterator()};
}

class ShippedLanguageTest : public ::testing::TestWithParam<std::pair<const char*, const char*>> {};

// Every key the program reads is there (the built-in menu captions are left out) with exactly
// the placeholders its callers fill; no key is unknown (misspelt) or repeated (dead text).
TEST_P(ShippedLanguageTest, HoldsTheKeysTheProgramReadsWithTheirPlaceholders) {
    const auto [name, locale] = GetParam();
    const std::string file = ShippedFile(name);
    ASSERT_TRUE(std::filesystem::is_regular_file(file)) << file;
    EXPECT_EQ(LanguageLocale(file), locale);
    const std::string text = testsupport::ReadFile(file);
    if (std::string(name) == "English") { // German sets "Verbinde ..." apart; not English
        EXPECT_EQ(text.find(" ..."), std::string::npos);
    }
    std::map<std::pair<std::string, std::string>, const LanguageKey*> unseen;
    for (const LanguageKey& k : LanguageKeys()) {
        unseen[{k.section, k.key}] = &k;
    }
    std::istringstream in(text);
    std::string section;
    for (std::string line; std::getline(in, line);) {
        const size_t eq = line.find('=');
        if (!line.empty() && line[0] == '[') {
            section = line.substr(1, line.find(']') - 1);
        }
        if (line.empty() || line[0] == ';' || eq == std::string::npos || section == "Info") {
            continue;
        }
        SCOPED_TRACE(line);
        const auto it = unseen.find({section, line.substr(0, eq)});
        ASSERT_NE(it, unseen.end()) << "repeated, or not a key the program reads";
        const LanguageKey& key = *it->second;
        unseen.erase(it);
        EXPECT_EQ(key.use, KeyUse::Text) << "hides the built-in caption";
        const std::string value = modConfig::ReadIniValue(file, key.section, key.key, "");
        EXPECT_FALSE(value.empty());
        EXPECT_EQ(Placeholders(value),
                  std::set<std::string>(key.placeholders.begin(), key.placeholders.end()));
    }
    for (const auto& [where, key] : unseen) {
        EXPECT_EQ(key->use, KeyUse::KeepBuiltIn) << where.first << " / " << where.second;
    }
}

TEST_P(ShippedLanguageTest, StepNamesAndMenuAccessKeysReadWell) {
    const std::string file = ShippedFile(GetParam().first);
    // Status(16) to Status(19) name an upload's step and are followed by " (", the HTTP state
    // and ")": "Fetching links (7)", not "Fetching links ... (7)".
    for (int n = 16; n <= 19; ++n) {
        const std::string text =
            modConfig::ReadIniValue(file, "Main", NumberedKey("Status", n), "");
        EXPECT_TRUE(!text.empty() && text.back() != '.' && text.back() != ' ') << n << text;
    }
    // Access keys are unique within each menu and within the options dialog.
    std::vector<std::pair<std::string, Names>> groups; // section, keys
    const std::vector<Names> menus = {
        {"mnuFile", "mnuEdit", "mnuUpload", "mnuExtras", "mnuHelp"},
        {"mnuEditAdd", "mnuEditRemove", "mnuEditPublish", "mnuEditSetBinLayerID",
         "mnuEditSetDescription", "mnuEditSetPassword", "mnuEditCopyUrls", "mnuEditSelectAll"},
        {"mnuEditPublishYes", "mnuEditPublishNo"},
        {"mnuUploadStart", "mnuUploadCancel"},
        {"mnuExtrasLanguage", "mnuExtrasOptions"},
        {"mnuHelpNews", "mnuHelpAbout"},
    };
    for (const auto& menu : menus) {
        groups.emplace_back("Main", Names{});
        for (const std::string& name : menu) {
            groups.back().second.push_back(MenuCaptionKey(name));
        }
    }
    groups.emplace_back("Config", Names{});
    for (const LanguageKey& key : LanguageKeys()) {
        if (key.section == "Config") {
            groups.back().second.push_back(key.key);
        }
    }
    for (const auto& [section, keys] : groups) {
        std::map<std::string, std::string> used;
        for (const std::string& key : keys) {
            const std::string caption = modConfig::ReadIniValue(file, section, key, "");
            const size_t amp = caption.find('&');
            if (amp != std::string::npos && amp + 1 < caption.size()) {
                // Lower case, and a UTF-8 letter ("Ü") taken whole.
                size_t length = 1;
                while (amp + 1 + length < caption.size() &&
                       (static_cast<unsigned char>(caption[amp + 1 + length]) & 0xC0) == 0x80) {
                    ++length;
                }
                std::string letter = caption.substr(amp + 1, length);
                letter[0] = static_cast<char>(::tolower(static_cast<unsigned char>(letter[0])));
                EXPECT_TRUE(used.emplace(letter, caption).second)
                    << caption << " / " << used[letter];
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Files, ShippedLanguageTest,
                         ::testing::Values(std::make_pair("Deutsch", "de"),
                                           std::make_pair("English", "en")),
                         [](const auto& info) { return std::string(info.param.first); });

TEST(ShippedGermanTest, UsesTheBuiltInGermanTexts) {
    std::vector<std::tuple<const char*, std::string, std::string>> texts; // section, key, text
    for (const MenuText& menu : MainMenus()) {
        if (std::string(menu.builtInCaption) != "-" && *menu.builtInCaption != '\0') {
            texts.emplace_back("Main", MenuCaptionKey(menu.name), menu.builtInCaption);
        }
    }
    const char* columns[] = {"Dateiname",  "Veröffentlichen", "Bin-Layer-ID",   "Beschreibung",
                             "Passwort",   "Größe",           "Status",         "Fortschritt",
                             "Übertragen", "Geschwindigkeit", "benötigte Zeit", "Restzeit",
                             "Url"};
    for (int n = 1; n <= ColumnHeaderCount; ++n) {
        texts.emplace_back("Main", ColumnHeaderKey(n), columns[n - 1]);
    }
    const std::array<const char*, 3> panels[] = {
        {"file_count", "Dateien: %1", "Anzahl der Dateien in der Liste"},
        {"upload_maxfilesize", "Größe: %1 MB", "Maximale Dateigröße"},
        {"upload_traffic", "Traffic: %1 MB", "Menge der hochgeladenen Daten"},
        {"upload_count", "Uploads: %1", "Anzahl der hochgeladenen Dateien"}};
    for (const auto& [panel, text, tooltip] : panels) {
        texts.emplace_back("Main", PanelTextKey(panel), text);
        texts.emplace_back("Main", PanelTooltipKey(panel), tooltip);
    }
    texts.emplace_back("Config", "Window.Caption", "Konfiguration");
    const std::array<const char*, 3> options[] = {
        {"Tabstrip.Tab", "upload", "Upload"},
        {"Tabstrip.Tab", "proxy", "Proxy Server"},
        {"Tabstrip.Tab", "premium", "Premium Account"},
        {"Checkbox", "upload_remove_complete_files", "&Fertige Dateien aus der Liste entfernen"},
        {"Label", "upload_bin_layer_id", "Bin-&Layer ID:"},
        {"Label", "upload_description", "B&eschreibung:"},
        {"Label", "upload_password", "&Passwort:"},
        {"Checkbox", "proxy_use", "Proxy Server &verwenden"},
        {"Label", "proxy_sevrer", "Proxy &Server:"},
        {"Label", "proxy_username", "Benutzer&name:"},
        {"Label", "proxy_password", "Kenn&wort:"},
        {"Checkbox", "premium_use", "P&remium Upload"},
        {"Label", "premium_username", "Ben&utzername:"},
        {"Label", "premium_password", "&Kennwort:"},
        {"Button", "ok", "&OK"},
        {"Button", "cancel", "&Abbrechen"},
        {"Button", "apply", "Ü&bernehmen"}};
    for (const auto& [kind, name, caption] : options) {
        texts.emplace_back("Config", DialogCaptionKey(kind, name), caption);
    }
    for (const auto& [section, key, text] : texts) {
        EXPECT_EQ(modConfig::ReadIniValue(ShippedFile("Deutsch"), section, key, "<absent>"), text)
            << key;
    }
}

} // namespace
