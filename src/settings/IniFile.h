#pragma once
// The INI store behind modConfig: parsing that keeps every line, lookups by case-insensitive
// section and key, in-place replacement, a small cache of parsed files, and the atomic replace
// used by every write.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace modConfig::ini {

// One INI file as lines. Lines that are not sections or keys (comments, blanks, text without
// "=") are kept as they are. Each line's ending (LF or CRLF) and a leading UTF-8 byte order mark
// are kept as the file had them; added lines take the ending of the file's first line.
class Document {
public:
    static Document Parse(const std::string& bytes);
    std::string Serialize() const;

    // The first key of that name in any section of that name, trimmed and with one pair of
    // enclosing double quotes removed; nothing when missing.
    std::optional<std::string> Get(const std::string& section, const std::string& key) const;
    // Replaces the value of the key found by Get, or adds the key at the end of the section,
    // or the section at the end of the file.
    void Set(const std::string& section, const std::string& key, const std::string& value);

private:
    enum class Kind { Other, Section, Key };
    struct Line {
        std::string text;
        bool crlf = false; // its own line ending, kept when the file mixes them
        Kind kind = Kind::Other;
        std::string name; // lower-case section or key name
        std::string value;
    };
    static Line ParseLine(std::string text, bool crlf);
    int FindKey(const std::string& section, const std::string& key) const;

    std::vector<Line> m_Lines;
    bool m_Crlf = false;
    bool m_FinalNewline = true;
    bool m_Bom = false;
};

// config.ini and the language files are a few kilobytes. A file beyond this bound is not one of
// ours: it is neither read (its parsed lines would take many times its size in memory) nor
// replaced, and no content beyond it is written, so everything written can be read back.
inline constexpr int64_t kMaxFileSize = int64_t{1} << 20;

// Missing: no such file. Failed: not a regular file, unreadable or beyond kMaxFileSize.
enum class ReadResult { Ok, Missing, Failed };
ReadResult ReadWholeFile(const std::string& path, std::string& bytes);

// The parsed file from the cache while its size and modification time are unchanged; nullptr
// when the file does not exist or cannot be read.
std::shared_ptr<const Document> CachedDocument(const std::string& path);
void DropCache(const std::string& path);
// Forgets every parsed file. A file rewritten within one tick of the file system's clock with
// the same size looks unchanged to the cache; whoever rewrites files that fast drops it.
void DropAllCaches();

// Writes the content to a temporary file beside path, flushes it to disk and renames it over
// path, so that a crash leaves the old file or the new one. A new file gets mode 0600, an
// existing one keeps its mode. False on any failure (also for content beyond kMaxFileSize); the
// old file is then untouched.
bool ReplaceFileAtomically(const std::string& path, const std::string& content);

// Test seam: called after the temporary file is written and flushed, before the rename. A hook
// returning false makes the replace fail there (the temporary file is removed).
using BeforeRenameHook = std::function<bool(const std::string& tempPath)>;
void SetBeforeRenameHook(BeforeRenameHook hook);

// How the temporary file and its folder are flushed to disk: fsync unless replaced (tests and
// fuzzing that write thousands of files a second pass a function that returns 0). Empty restores
// fsync. Returns 0 on success like fsync.
using SyncFunction = std::function<int(int fd)>;
void SetSyncFunction(SyncFunction sync);

} // namespace modConfig::ini
