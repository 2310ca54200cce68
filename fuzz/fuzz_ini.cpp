// The INI store. Input: the file's bytes up to the first NUL, then settings to make, each a
// choice byte and a value piece. Checks that a document writes back exactly as it was read, that
// a set value reads back as set (line breaks in it become blanks), that every other value reads
// as before, and that the same holds through a save to disk and a fresh read.
#include "FuzzInput.h"
#include "platform/modText.h"
#include "settings/IniFile.h"

#include <algorithm>
#include <cstdlib>
#include <map>
#include <optional>
#include <string>
#include <unistd.h>
#include <vector>

using modConfig::ini::Document;

namespace {

const char* const Sections[] = {"Main", "main", "Proxy", "New Section", "s"};
const char* const Keys[] = {"language", "LANGUAGE", "port", "x", "k 1"};

std::string FuzzFolder() {
    static const std::string folder = [] {
        std::string path = "/tmp/vostrand-fuzz-ini-XXXXXX";
        if (::mkdtemp(path.data()) == nullptr)
            std::abort();
        static const std::string removal = "rm -rf '" + path + "'";
        std::atexit([] { (void)!std::system(removal.c_str()); });
        // The save's flush to disk would hold the fuzzer to a few dozen runs a second.
        modConfig::ini::SetSyncFunction([](int) { return 0; });
        return path;
    }();
    return folder;
}

std::string OneLine(std::string value) {
    for (char& c : value)
        if (c == '\r' || c == '\n')
            c = ' ';
    return value;
}

using Values = std::map<std::pair<std::string, std::string>, std::optional<std::string>>;

Values ReadAll(const Document& doc) {
    Values values;
    for (const char* section : Sections)
        for (const char* key : Keys)
            values[{section, key}] = doc.Get(section, key);
    return values;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const std::string all(reinterpret_cast<const char*>(data), size);
    const std::size_t nul = std::min(all.find('\0'), all.size());
    const std::string bytes = all.substr(0, nul);
    FuzzInput in(data + std::min(nul + 1, size), size - std::min(nul + 1, size));

    Document doc = Document::Parse(bytes);
    FUZZ_CHECK(doc.Serialize() == bytes);

    Values expected = ReadAll(doc);
    while (!in.Empty()) {
        const uint8_t choice = in.Byte();
        const std::string section = Sections[choice % 5];
        const std::string key = Keys[(choice / 5) % 5];
        const std::string value = in.Piece();
        doc.Set(section, key, value);
        FUZZ_CHECK(doc.Get(section, key) == OneLine(value));
        // Names compare without letter case: both spellings now read the new value.
        for (auto& [name, old] : expected)
            if (modText::Lower(name.first) == modText::Lower(section) &&
                modText::Lower(name.second) == modText::Lower(key))
                old = OneLine(value);
    }
    FUZZ_CHECK(ReadAll(doc) == expected);

    // Written and read back, through the file as the program saves and reads it.
    const std::string text = doc.Serialize();
    FUZZ_CHECK(ReadAll(Document::Parse(text)) == expected);
    FUZZ_CHECK(Document::Parse(text).Serialize() == text);
    const std::string path = FuzzFolder() + "/config.ini";
    if (modConfig::ini::ReplaceFileAtomically(path, text)) {
        // Rewritten within one clock tick, a file of the same size would look unchanged.
        modConfig::ini::DropAllCaches();
        const auto cached = modConfig::ini::CachedDocument(path);
        FUZZ_CHECK(cached != nullptr);
        FUZZ_CHECK(cached->Serialize() == text);
        FUZZ_CHECK(ReadAll(*cached) == expected);
    }
    return 0;
}
