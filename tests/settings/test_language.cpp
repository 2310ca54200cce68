// The numbered texts, message placeholders, the language folder and the shipped language files.
#include "settings/LanguageKeys.h"
#include "settings/modConfig.h"
#include "settings/modLanguage.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <set>
#include <sstream>

using namespace modLanguage;
using testsupport::TempDir;

namespace {

TEST(FormatMessageTest, FillsNumberedPlaceholdersInParameterOrder) {
    struct Row {
        const char* text;
        std::vector<std::string> parameters;
        const char* expected;
    };
    const Row rows[] = {
        {"{%1} is {%2} MB", {"a.bin", "100"}, "a.bin is 100 MB"},
        {"{%1} is {%2} MB", {"a.bin"}, "a.bin is {%2} MB"}, // no parameter: stays
        {"{%1} and {%1}", {"x"}, "x and x"},
        {"{%2}{%1}", {"1", "2"}, "21"},
        {"{%1}", {"{%1}{%1}"}, "{%1}{%1}"}, // a value is not expanded again
        {"{%1}", {""}, ""},
        {"no placeholder", {"x"}, "no placeholder"},
        {"{%01} {%1 } {%1}", {"x"}, "{%01} {%1 } x"}, // the search is exact
        {"{%10} {%1}", {"a", "b", "c", "d", "e", "f", "g", "h", "i", "j"}, "j a"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.text);
        EXPECT_EQ(FormatMessage(r.text, r.parameters), r.expected);
    }
}

TEST(TextListsTest, LoadsTheFiveListsAndAMissingKeyIsEmpty) {
    TempDir dir;
    std::string content = "[main]\nStatusbar(1)=Loading\nLogFile(5)=Delete\n";
    for (int n = 1; n <= 21; ++n) {
        if (n != 7) {
            content += "status(" + std::to_string(n) + ")=S" + std::to_string(n) + "\n";
        }
    }
    content += "Message(2)=\"{%1} is already listed\"\nInput(3)=Password:\n";
    content += "[Config]\nStatus(7)=wrong section\n";
    const std::string file = dir.WriteFile("Test.ini", content);

    TextLists lists;
    LoadTextLists(lists, file);
    EXPECT_EQ(lists.GetStatusbarText(1), "Loading");
    EXPECT_EQ(lists.GetLogFileText(5), "Delete");
    EXPECT_EQ(lists.GetLogFileText(1), "");
    EXPECT_EQ(lists.GetStatusText(6), "S6");
    EXPECT_EQ(lists.GetStatusText(7), "");
    EXPECT_EQ(lists.GetStatusText(21), "S21");
    EXPECT_EQ(lists.GetInputText(3), "Password:");

    std::string shown;
    int32_t flags = 0;
    const int32_t answer =
        ShowMessage(lists, 2, MB_WARNING_OK, {"a.bin"}, [&](const std::string& text, int32_t b) {
            shown = text;
            flags = b;
            return ID_NO;
        });
    EXPECT_EQ(shown, "a.bin is already listed");
    EXPECT_EQ(flags, MB_WARNING_OK);
    EXPECT_EQ(answer, ID_NO);

    // Loading again replaces the lists whole: a missing file empties every text.
    LoadTextLists(lists, dir.FilePath("Missing.ini"));
    EXPECT_EQ(lists.GetStatusbarText(1), "");
    EXPECT_EQ(lists.GetStatusText(6), "");
    EXPECT_EQ(lists.GetMessageText(2), "");
    EXPECT_EQ(lists.GetMessageText(6), "");
    EXPECT_EQ(lists.GetInputText(3), "");
}

TEST(TextListsTest, NumbersOutsideAListGiveEmptyText) {
    TextLists lists;
    lists.SetStatusTexts({"one", "two"});
    EXPECT_EQ(lists.GetStatusText(2), "two");
    std::string text = "unchanged";
    EXPECT_DEBUG_DEATH(text = lists.GetStatusText(3), "");
#ifdef NDEBUG
    EXPECT_EQ(text, "");
    EXPECT_EQ(lists.GetStatusText(0), "");
    EXPECT_EQ(lists.GetInputText(1), ""); // never loaded
#endif
}

TEST(LanguageFolderTest, BesideTheProgramElseUnderTheInstallPrefix) {
    TempDir dir;
    const std::string bin = dir.FilePath("bin");
    const std::string shared = dir.FilePath("share/vostrand-uploader/language");
    std::filesystem::create_directories(bin);
    EXPECT_EQ(LanguageFolder(bin), bin + "/language/"); // neither exists
    std::filesystem::create_directories(shared);
    EXPECT_EQ(LanguageFolder(bin), shared + "/");
    EXPECT_EQ(LanguageFolder(bin + "/"), shared + "/");
    std::filesystem::create_directories(bin + "/language");
    EXPECT_EQ(LanguageFolder(bin), bin + "/language/");
    EXPECT_EQ(LanguageFilePath(bin + "/language", "English"), bin + "/language/English.ini");
}

TEST(LanguageFolderTest, ListsLanguageFilesByNameAndReadsTheirLocale) {
    TempDir dir;
    dir.WriteFile("English.ini", "[Info]\nlocale=en\n");
    dir.WriteFile("deutsch.ini", "[Info]\nlocale=de\n");
    dir.WriteFile("en.US.ini", "[Info]\nlocale=en_US\n");
    dir.WriteFile("readme.txt", "");
    std::filesystem::create_directories(dir.FilePath("old.ini")); // a folder is no language
    EXPECT_EQ(ListLanguages(dir.Path()), (std::vector<std::string>{"deutsch", "en.US", "English"}));
    EXPECT_EQ(ListLanguages(dir.FilePath("none")), std::vector<std::string>{});
    EXPECT_EQ(LanguageLocale(dir.FilePath("deutsch.ini")), "de");
    EXPECT_EQ(LanguageLocale(dir.FilePath("readme.txt")), "");
}

class ShippedLanguageTest : public ::testing::TestWithParam<std::pair<const char*, const char*>> {};

TEST_P(ShippedLanguageTest, HoldsEveryKeyWithItsPlaceholders) {
    const auto [name, locale] = GetParam();
    const std::string file = std::string(VOSTRAND_SOURCE_DIR "/language/") + name + ".ini";
    ASSERT_TRUE(std::filesystem::is_regular_file(file)) << file;
    EXPECT_EQ(LanguageLocale(file), locale);
    const std::string absent = "<absent>";
    for (const LanguageKey& k : LanguageKeys()) {
        SCOPED_TRACE(k.section + " / " + k.key);
        const std::string value = modConfig::ReadIniValue(file, k.section, k.key, absent);
        if (k.use == KeyUse::KeepBuiltIn) {
            EXPECT_EQ(value, absent);
            continue;
        }
        EXPECT_NE(value, absent);
        EXPECT_FALSE(value.empty());
        for (const std::string& placeholder : k.placeholders) {
            EXPECT_NE(value.find(placeholder), std::string::npos) << placeholder;
        }
    }
    // Every numbered text loads through the lists as well.
    TextLists lists;
    LoadTextLists(lists, file);
    EXPECT_FALSE(lists.GetStatusText(18).empty());
    EXPECT_FALSE(lists.GetMessageText(6).empty());
}

// The key lines of a shipped file as (section, key, value), in file order; section lower-case.
struct FileKey {
    std::string section, key, value;
};
std::vector<FileKey> KeyLines(const std::string& file) {
    std::vector<FileKey> keys;
    std::string section;
    std::istringstream in(testsupport::ReadFile(file));
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        if (line.empty() || line[0] == ';') {
            continue;
        }
        if (line[0] == '[') {
            section = line.substr(1, line.find(']') - 1);
            std::transform(section.begin(), section.end(), section.begin(), ::tolower);
            continue;
        }
        const size_t eq = line.find('=');
        if (eq != std::string::npos) {
            keys.push_back({section, line.substr(0, eq), line.substr(eq + 1)});
        }
    }
    return keys;
}

std::string ShippedFile(const std::string& name) {
    return std::string(VOSTRAND_SOURCE_DIR "/language/") + name + ".ini";
}

TEST_P(ShippedLanguageTest, HoldsNoUnknownOrRepeatedKeyAndNoPlaceholderNobodyFills) {
    const std::string file = ShippedFile(GetParam().first);
    std::map<std::pair<std::string, std::string>, const LanguageKey*> known;
    for (const LanguageKey& k : LanguageKeys()) {
        std::string section = k.section;
        std::transform(section.begin(), section.end(), section.begin(), ::tolower);
        known[{section, k.key}] = &k;
    }
    std::set<std::pair<std::string, std::string>> seen;
    for (const FileKey& line : KeyLines(file)) {
        if (line.section == "info") {
            continue;
        }
        SCOPED_TRACE(line.section + " / " + line.key);
        // A repeated key is dead text (the first one wins); an unknown one is a misspelt key.
        EXPECT_TRUE(seen.insert({line.section, line.key}).second) << "repeated";
        const auto it = known.find({line.section, line.key});
        ASSERT_NE(it, known.end()) << "not a key the program reads";
        const std::vector<std::string>& filled = it->second->placeholders;
        for (size_t at = line.value.find("{%"); at != std::string::npos;
             at = line.value.find("{%", at + 1)) {
            const std::string placeholder =
                line.value.substr(at, line.value.find('}', at) - at + 1);
            EXPECT_NE(std::find(filled.begin(), filled.end(), placeholder), filled.end())
                << placeholder << " is never filled";
        }
        if (line.value.find("%1") != std::string::npos &&
            line.value.find("{%1}") == std::string::npos) {
            EXPECT_NE(std::find(filled.begin(), filled.end(), "%1"), filled.end())
                << "%1 is never filled";
        }
    }
}

TEST_P(ShippedLanguageTest, StepNamesReadWellBeforeTheStateNumber) {
    // Status(16) to Status(19) name the step of an upload and are shown followed by " (", the
    // HTTP state and ")": "Fetching links (7)", not "Fetching links ... (7)".
    TextLists lists;
    LoadTextLists(lists, ShippedFile(GetParam().first));
    for (int n = 16; n <= 19; ++n) {
        const std::string text = lists.GetStatusText(n);
        SCOPED_TRACE(text);
        ASSERT_FALSE(text.empty());
        EXPECT_NE(text.back(), '.');
        EXPECT_NE(text.back(), ' ');
    }
}

TEST_P(ShippedLanguageTest, MenuAccessKeysAreUniqueWithinEachMenu) {
    const std::string file = ShippedFile(GetParam().first);
    const std::vector<std::vector<std::string>> menus = {
        {"mnuFile", "mnuEdit", "mnuUpload", "mnuExtras", "mnuHelp"},
        {"mnuFileExit"},
        {"mnuEditAdd", "mnuEditRemove", "mnuEditPublish", "mnuEditSetBinLayerID",
         "mnuEditSetDescription", "mnuEditSetPassword", "mnuEditCopyUrls", "mnuEditSelectAll"},
        {"mnuEditPublishYes", "mnuEditPublishNo"},
        {"mnuUploadStart", "mnuUploadCancel"},
        {"mnuExtrasLanguage", "mnuExtrasOptions"},
        {"mnuHelpNews", "mnuHelpAbout"},
    };
    for (const auto& menu : menus) {
        std::map<char, std::string> used;
        for (const std::string& name : menu) {
            const std::string caption =
                modConfig::ReadIniValue(file, "Main", MenuCaptionKey(name), "");
            const size_t amp = caption.find('&');
            if (amp == std::string::npos || amp + 1 >= caption.size()) {
                continue;
            }
            const char key =
                static_cast<char>(::tolower(static_cast<unsigned char>(caption[amp + 1])));
            const auto [it, fresh] = used.emplace(key, caption);
            EXPECT_TRUE(fresh) << "'" << key << "' in " << caption << " and " << it->second;
        }
    }
}

TEST(ShippedGermanTest, UsesTheBuiltInGermanTexts) {
    const std::string file = ShippedFile("Deutsch");
    auto text = [&](const char* section, const std::string& key) {
        return modConfig::ReadIniValue(file, section, key, "<absent>");
    };
    for (const MenuText& menu : MainMenus()) {
        if (std::string(menu.builtInCaption) != "-" && *menu.builtInCaption != '\0') {
            EXPECT_EQ(text("Main", MenuCaptionKey(menu.name)), menu.builtInCaption) << menu.name;
        }
    }
    const char* columns[] = {"Dateiname",  "Veröffentlichen", "Bin-Layer-ID",   "Beschreibung",
                             "Passwort",   "Größe",           "Status",         "Fortschritt",
                             "Übertragen", "Geschwindigkeit", "benötigte Zeit", "Restzeit",
                             "Url"};
    for (int n = 1; n <= ColumnHeaderCount; ++n) {
        EXPECT_EQ(text("Main", ColumnHeaderKey(n)), columns[n - 1]) << n;
    }
    const std::pair<const char*, const char*> panels[] = {
        {"file_count", "Anzahl der Dateien in der Liste"},
        {"upload_maxfilesize", "Maximale Dateigröße"},
        {"upload_traffic", "Menge der hochgeladenen Daten"},
        {"upload_count", "Anzahl der hochgeladenen Dateien"},
    };
    for (const auto& [panel, tooltip] : panels) {
        EXPECT_EQ(text("Main", PanelTooltipKey(panel)), tooltip) << panel;
    }
    EXPECT_EQ(text("Main", PanelTextKey("file_count")), "Dateien: %1");
    EXPECT_EQ(text("Main", PanelTextKey("upload_maxfilesize")), "Größe: %1 MB");
    EXPECT_EQ(text("Main", PanelTextKey("upload_traffic")), "Traffic: %1 MB");
    EXPECT_EQ(text("Main", PanelTextKey("upload_count")), "Uploads: %1");
    const std::pair<std::string, const char*> options[] = {
        {"Window.Caption", "Konfiguration"},
        {DialogCaptionKey("Tabstrip.Tab", "upload"), "Upload"},
        {DialogCaptionKey("Tabstrip.Tab", "proxy"), "Proxy Server"},
        {DialogCaptionKey("Tabstrip.Tab", "premium"), "Premium Account"},
        {DialogCaptionKey("Checkbox", "upload_remove_complete_files"),
         "&Fertige Dateien aus der Liste entfernen"},
        {DialogCaptionKey("Label", "upload_bin_layer_id"), "Bin-&Layer ID:"},
        {DialogCaptionKey("Label", "upload_description"), "&Beschreibung:"},
        {DialogCaptionKey("Label", "upload_password"), "&Passwort:"},
        {DialogCaptionKey("Checkbox", "proxy_use"), "Proxy Server verwenden"},
        {DialogCaptionKey("Label", "proxy_sevrer"), "Proxy Server:"},
        {DialogCaptionKey("Label", "proxy_username"), "Benutzername:"},
        {DialogCaptionKey("Label", "proxy_password"), "Kennwort:"},
        {DialogCaptionKey("Checkbox", "premium_use"), "&Premium Upload"},
        {DialogCaptionKey("Label", "premium_username"), "&Benutzername:"},
        {DialogCaptionKey("Label", "premium_password"), "&Kennwort:"},
        {DialogCaptionKey("Button", "ok"), "&OK"},
        {DialogCaptionKey("Button", "cancel"), "&Abbrechen"},
        {DialogCaptionKey("Button", "apply"), "Ü&bernehmen"},
    };
    for (const auto& [key, caption] : options) {
        EXPECT_EQ(text("Config", key), caption) << key;
    }
}

TEST(ShippedEnglishTest, PutsNoBlankBeforeAnEllipsis) {
    // German sets "Verbinde ..." apart; English writes "Connecting...".
    for (const FileKey& line : KeyLines(ShippedFile("English"))) {
        EXPECT_EQ(line.value.find(" ..."), std::string::npos) << line.key << "=" << line.value;
    }
}

INSTANTIATE_TEST_SUITE_P(Files, ShippedLanguageTest,
                         ::testing::Values(std::make_pair("Deutsch", "de"),
                                           std::make_pair("English", "en")),
                         [](const auto& info) { return std::string(info.param.first); });

TEST(ShippedLanguageFolderTest, ListsBothLanguages) {
    const std::string folder = VOSTRAND_SOURCE_DIR "/language";
    EXPECT_EQ(ListLanguages(folder), (std::vector<std::string>{"Deutsch", "English"}));
}

} // namespace
