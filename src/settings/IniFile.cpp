#include "settings/IniFile.h"

#include "platform/modText.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <map>
#include <sys/stat.h>
#include <unistd.h>

namespace modConfig::ini {

namespace {
using modText::Lower;
using modText::Trim;

// Only ASCII letters fold: names are compared byte for byte otherwise.
std::string Unquote(const std::string& value) {
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
        return value.substr(1, value.size() - 2);
    }
    return value;
}

// A line break inside a value, key or section name would end the line and let the rest be read
// as new keys or sections, so it is stored as a blank.
std::string OneLine(std::string text) {
    for (char& c : text) {
        if (c == '\r' || c == '\n') {
            c = ' ';
        }
    }
    return text;
}

// A value whose blanks at either end or enclosing quotes the reader would strip is written
// inside one extra pair of quotes, so that it reads back as written.
std::string Encode(const std::string& value) {
    const bool needsQuotes =
        !value.empty() && (value.front() == ' ' || value.front() == '\t' || value.back() == ' ' ||
                           value.back() == '\t' ||
                           (value.size() >= 2 && value.front() == '"' && value.back() == '"'));
    return needsQuotes ? "\"" + value + "\"" : value;
}

struct CacheEntry {
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    timespec modified{};
    timespec changed{};
    std::shared_ptr<const Document> document;
};

std::map<std::string, CacheEntry>& Cache() {
    static std::map<std::string, CacheEntry> cache;
    return cache;
}

bool SameTime(const timespec& a, const timespec& b) {
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

BeforeRenameHook& Hook() {
    static BeforeRenameHook hook;
    return hook;
}

SyncFunction& Sync() {
    static SyncFunction sync;
    return sync;
}

int SyncToDisk(int fd) {
    return Sync() ? Sync()(fd) : ::fsync(fd);
}

bool WriteAll(int fd, const std::string& content) {
    size_t done = 0;
    while (done < content.size()) {
        const ssize_t n = ::write(fd, content.data() + done, content.size() - done);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

std::string FolderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

} // namespace

Document::Line Document::ParseLine(std::string text, bool crlf) {
    Line line;
    line.text = std::move(text);
    line.crlf = crlf;
    const std::string trimmed = Trim(line.text);
    if (trimmed.empty() || trimmed[0] == ';' || trimmed[0] == '#') {
        return line;
    }
    if (trimmed[0] == '[') {
        const size_t close = trimmed.find(']');
        if (close != std::string::npos) {
            line.kind = Kind::Section;
            line.name = Lower(Trim(trimmed.substr(1, close - 1)));
        }
        return line;
    }
    const size_t eq = trimmed.find('=');
    if (eq == std::string::npos) {
        return line;
    }
    std::string key = Trim(trimmed.substr(0, eq));
    if (key.empty()) {
        return line;
    }
    line.kind = Kind::Key;
    line.name = Lower(key);
    line.value = Unquote(Trim(trimmed.substr(eq + 1)));
    return line;
}

Document Document::Parse(const std::string& text) {
    Document doc;
    // Editors on other systems often start a UTF-8 file with a byte order mark; it would hide
    // the first section, so it is set aside and written back as it was.
    static const std::string bom = "\xEF\xBB\xBF";
    doc.m_Bom = text.compare(0, bom.size(), bom) == 0;
    const std::string bytes = doc.m_Bom ? text.substr(bom.size()) : text;
    const size_t firstBreak = bytes.find('\n');
    doc.m_Crlf = firstBreak != std::string::npos && firstBreak > 0 && bytes[firstBreak - 1] == '\r';
    doc.m_FinalNewline = bytes.empty() || bytes.back() == '\n';
    doc.m_Lines.reserve(static_cast<size_t>(std::count(bytes.begin(), bytes.end(), '\n')) + 1);
    size_t start = 0;
    while (start < bytes.size()) {
        size_t end = bytes.find('\n', start);
        const size_t next = end == std::string::npos ? bytes.size() : end + 1;
        // A last line without a break gets the file's ending if a save adds one; CRLF when it
        // ends in a CR of its own, which a lone LF after it would turn into a CRLF ending.
        bool crlf = doc.m_Crlf;
        if (end == std::string::npos) {
            end = bytes.size();
            crlf = crlf || (end > start && bytes[end - 1] == '\r');
        } else {
            // Only the one CR before the LF belongs to the ending ("a\r\r\n" keeps "a\r").
            crlf = end > start && bytes[end - 1] == '\r';
            if (crlf) {
                --end;
            }
        }
        doc.m_Lines.push_back(ParseLine(bytes.substr(start, end - start), crlf));
        start = next;
    }
    return doc;
}

std::string Document::Serialize() const {
    std::string out = m_Bom ? "\xEF\xBB\xBF" : "";
    for (size_t i = 0; i < m_Lines.size(); ++i) {
        out += m_Lines[i].text;
        if (i + 1 < m_Lines.size() || m_FinalNewline) {
            out += m_Lines[i].crlf ? "\r\n" : "\n";
        }
    }
    return out;
}

int Document::FindKey(const std::string& section, const std::string& key) const {
    const std::string wantSection = Lower(section);
    const std::string wantKey = Lower(key);
    bool inSection = false;
    for (size_t i = 0; i < m_Lines.size(); ++i) {
        const Line& line = m_Lines[i];
        if (line.kind == Kind::Section) {
            inSection = line.name == wantSection;
        } else if (inSection && line.kind == Kind::Key && line.name == wantKey) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

std::optional<std::string> Document::Get(const std::string& section, const std::string& key) const {
    const int i = FindKey(section, key);
    if (i < 0) {
        return std::nullopt;
    }
    return m_Lines[static_cast<size_t>(i)].value;
}

void Document::Set(const std::string& section, const std::string& key, const std::string& value) {
    const std::string encoded = Encode(OneLine(value));
    const int found = FindKey(section, key);
    if (found >= 0) {
        Line& line = m_Lines[static_cast<size_t>(found)];
        line = ParseLine(line.text.substr(0, line.text.find('=') + 1) + encoded, line.crlf);
        return;
    }
    const std::string newLine = OneLine(key) + "=" + encoded;
    const std::string wantSection = Lower(section);
    // Add the key after the last key (or the header) of the first section of that name, so
    // that comments and blank lines before the next section stay with it.
    int insertAfter = -1;
    bool inSection = false;
    bool seen = false;
    for (size_t i = 0; i < m_Lines.size(); ++i) {
        const Line& line = m_Lines[i];
        if (line.kind == Kind::Section) {
            if (seen && inSection) {
                break;
            }
            inSection = line.name == wantSection;
            seen = seen || inSection;
            if (inSection) {
                insertAfter = static_cast<int>(i);
            }
        } else if (inSection && line.kind == Kind::Key) {
            insertAfter = static_cast<int>(i);
        }
    }
    m_FinalNewline = true;
    if (insertAfter >= 0) {
        m_Lines.insert(m_Lines.begin() + insertAfter + 1, ParseLine(newLine, m_Crlf));
        return;
    }
    if (!m_Lines.empty() && !Trim(m_Lines.back().text).empty()) {
        m_Lines.push_back(ParseLine("", m_Crlf));
    }
    m_Lines.push_back(ParseLine("[" + OneLine(section) + "]", m_Crlf));
    m_Lines.push_back(ParseLine(newLine, m_Crlf));
}

ReadResult ReadWholeFile(const std::string& path, std::string& bytes) {
    bytes.clear();
    // Non-blocking, so that a FIFO in the file's place cannot stall the open; it is refused below.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        return errno == ENOENT || errno == ENOTDIR ? ReadResult::Missing : ReadResult::Failed;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size > kMaxFileSize) {
        ::close(fd);
        return ReadResult::Failed;
    }
    char buf[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            ::close(fd);
            return ReadResult::Failed;
        }
        if (n == 0) {
            break;
        }
        bytes.append(buf, static_cast<size_t>(n));
        if (bytes.size() > static_cast<size_t>(kMaxFileSize)) { // grew while we read
            bytes.clear();
            ::close(fd);
            return ReadResult::Failed;
        }
    }
    ::close(fd);
    return ReadResult::Ok;
}

std::shared_ptr<const Document> CachedDocument(const std::string& path) {
    auto& cache = Cache();
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        cache.erase(path);
        return nullptr;
    }
    auto it = cache.find(path);
    if (it != cache.end() && it->second.device == st.st_dev && it->second.inode == st.st_ino &&
        it->second.size == st.st_size && SameTime(it->second.modified, st.st_mtim) &&
        SameTime(it->second.changed, st.st_ctim)) {
        return it->second.document;
    }
    std::string bytes;
    if (ReadWholeFile(path, bytes) != ReadResult::Ok) {
        cache.erase(path);
        return nullptr;
    }
    // A handful of files are read (config.ini, the language files); keep the cache that small.
    if (cache.size() >= 16) {
        cache.clear();
    }
    CacheEntry entry;
    entry.device = st.st_dev;
    entry.inode = st.st_ino;
    entry.size = st.st_size;
    entry.modified = st.st_mtim;
    entry.changed = st.st_ctim;
    entry.document = std::make_shared<const Document>(Document::Parse(bytes));
    cache[path] = entry;
    return entry.document;
}

void DropCache(const std::string& path) {
    Cache().erase(path);
}

void DropAllCaches() {
    Cache().clear();
}

void SetSyncFunction(SyncFunction sync) {
    Sync() = std::move(sync);
}

void SetBeforeRenameHook(BeforeRenameHook hook) {
    Hook() = std::move(hook);
}

bool ReplaceFileAtomically(const std::string& path, const std::string& content) {
    if (path.empty() || content.size() > static_cast<size_t>(kMaxFileSize)) {
        return false;
    }
    // Write through a symbolic link to the file it names, so the link stays a link.
    std::string target = path;
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        char resolved[PATH_MAX];
        if (::realpath(path.c_str(), resolved) != nullptr) {
            target = resolved;
        }
    }
    mode_t mode = 0600;
    bool exists = false;
    if (::stat(target.c_str(), &st) == 0) {
        if (!S_ISREG(st.st_mode)) {
            return false;
        }
        exists = true;
        mode = st.st_mode & 07777;
    }
    std::string temp = target + ".tmp-XXXXXX";
    const int fd = ::mkstemp(temp.data());
    if (fd < 0) {
        return false;
    }
    bool ok = ::fchmod(fd, mode) == 0;
    if (ok && exists && (st.st_uid != ::geteuid() || st.st_gid != ::getegid())) {
        // Keep the owner when we may (running as root on a user's file); not fatal otherwise.
        (void)!::fchown(fd, st.st_uid, st.st_gid);
    }
    ok = ok && WriteAll(fd, content) && SyncToDisk(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    if (ok && Hook()) {
        ok = Hook()(temp);
    }
    if (ok) {
        ok = ::rename(temp.c_str(), target.c_str()) == 0;
    }
    if (!ok) {
        ::unlink(temp.c_str());
        return false;
    }
    // Make the rename itself durable.
    const int dirFd = ::open(FolderOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        (void)SyncToDisk(dirFd);
        ::close(dirFd);
    }
    DropCache(path);
    DropCache(target);
    return true;
}

} // namespace modConfig::ini
