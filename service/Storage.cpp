#include "Storage.h"

#include "Text.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace service {

namespace {

constexpr const char* kIndexName = "index.log";

// One index line: a verb, then tab-separated key=value pairs with percent-encoded values, so
// that tabs, line breaks and any bytes a client sends cannot break the line apart.
std::string EncodeRecord(const StoredFile& f) {
    std::ostringstream out;
    out << "add"
        << "\tid=" << f.Id << "\tkey=" << f.DeleteKey << "\tname=" << PercentEncode(f.Name)
        << "\ttype=" << PercentEncode(f.ContentType) << "\tpassword=" << PercentEncode(f.Password)
        << "\tdescr=" << PercentEncode(f.Description) << "\treferal=" << PercentEncode(f.Referal)
        << "\tuser=" << PercentEncode(f.User) << "\tsearch=" << (f.Publish ? 1 : 0)
        << "\tsize=" << f.Size << "\ttime=" << f.Time << "\n";
    return out.str();
}

std::map<std::string, std::string> SplitFields(const std::string& line) {
    std::map<std::string, std::string> fields;
    size_t pos = 0;
    while (pos <= line.size()) {
        size_t end = line.find('\t', pos);
        if (end == std::string::npos) {
            end = line.size();
        }
        const std::string item = line.substr(pos, end - pos);
        const size_t eq = item.find('=');
        if (eq != std::string::npos) {
            fields[item.substr(0, eq)] = PercentDecode(item.substr(eq + 1));
        } else {
            fields[item] = "";
        }
        pos = end + 1;
    }
    return fields;
}

bool IsFileId(const std::string& s) {
    if (s.size() != 16) {
        return false;
    }
    for (char c : s) {
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) {
            return false;
        }
    }
    return true;
}

int64_t ToInt(const std::string& s) {
    try {
        return std::stoll(s);
    } catch (...) {
        return 0;
    }
}

void SyncFolder(const fs::path& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

} // namespace

bool Storage::Open(const fs::path& root, std::string& strError) {
    std::error_code ec;
    const bool existed = fs::exists(root, ec);
    fs::create_directories(root / "files", ec);
    if (!ec) {
        fs::create_directories(root / "tmp", ec);
    }
    if (ec) {
        strError = "cannot create storage folder " + root.string() + ": " + ec.message();
        return false;
    }
    if (!existed) {
        // Uploads may carry download passwords; a folder we make is private. A folder the user
        // named keeps its permissions.
        fs::permissions(root, fs::perms::owner_all, fs::perm_options::replace, ec);
    }
    m_Root = root;

    // Two services on one store would remove each other's uploads in progress.
    m_LockFd = ::open((root / "lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (m_LockFd < 0 || ::flock(m_LockFd, LOCK_EX | LOCK_NB) != 0) {
        strError = "storage folder " + root.string() + " is in use by another vostrand-service";
        if (m_LockFd < 0) {
            strError = "cannot lock storage folder " + root.string() + ": " + std::strerror(errno);
        }
        return false;
    }

    std::lock_guard lock(m_Mutex);
    LoadIndex();

    // Partial uploads of an interrupted run are never finished.
    for (const auto& entry : fs::directory_iterator(root / "tmp", ec)) {
        fs::remove(entry.path(), ec);
    }
    // A file whose index line never reached the disk is unreachable: drop it.
    for (const auto& entry : fs::directory_iterator(root / "files", ec)) {
        if (!m_Files.contains(entry.path().filename().string())) {
            fs::remove(entry.path(), ec);
        }
    }
    // Probe that the index can be written, so a read-only store fails at start, not mid-upload.
    const int fd =
        ::open((root / kIndexName).c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) {
        strError = "cannot write " + (root / kIndexName).string() + ": " + std::strerror(errno);
        return false;
    }
    ::close(fd);
    // A line torn by a crash would swallow the next record appended to it: end it first.
    std::error_code sizeError;
    const auto size = fs::file_size(root / kIndexName, sizeError);
    if (!sizeError && size > 0) {
        std::ifstream in(root / kIndexName, std::ios::binary);
        in.seekg(static_cast<std::streamoff>(size) - 1);
        if (in.get() != '\n' && !AppendIndex("\n", strError)) {
            return false;
        }
    }
    return true;
}

void Storage::LoadIndex() {
    std::ifstream in(m_Root / kIndexName, std::ios::binary);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        auto fields = SplitFields(line);
        const std::string id = fields["id"];
        if (!IsFileId(id)) {
            continue; // also a line torn by a crash while it was appended
        }
        if (fields.contains("del")) {
            m_Files.erase(id);
            continue;
        }
        if (!fields.contains("add") || !fields.contains("time")) {
            continue;
        }
        StoredFile f;
        f.Id = id;
        f.DeleteKey = fields["key"];
        f.Name = fields["name"];
        f.ContentType = fields["type"];
        f.Password = fields["password"];
        f.Description = fields["descr"];
        f.Referal = fields["referal"];
        f.User = fields["user"];
        f.Publish = fields["search"] == "1";
        f.Size = ToInt(fields["size"]);
        f.Time = ToInt(fields["time"]);
        std::error_code ec;
        if (fs::is_regular_file(m_Root / "files" / id, ec)) {
            m_Files[id] = std::move(f);
        }
    }
}

fs::path Storage::NewTempPath() const {
    // The folders are made again when someone removed them while we run.
    std::error_code ec;
    fs::create_directories(m_Root / "tmp", ec);
    return m_Root / "tmp" / (RandomHex(12) + ".part");
}

fs::path Storage::PathOf(const std::string& strId) const {
    return IsFileId(strId) ? m_Root / "files" / strId : fs::path();
}

bool Storage::AppendIndex(const std::string& strLine, std::string& strError) {
    const int fd =
        ::open((m_Root / kIndexName).c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) {
        strError = std::string("cannot open index: ") + std::strerror(errno);
        return false;
    }
    // A line cut short by a full disk is taken back, so that the next line does not join it.
    struct stat st {};
    const off_t before = ::fstat(fd, &st) == 0 ? st.st_size : -1;
    size_t done = 0;
    bool ok = true;
    while (done < strLine.size()) {
        const ssize_t n = ::write(fd, strLine.data() + done, strLine.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            ok = false;
            break;
        }
        done += static_cast<size_t>(n);
    }
    if (ok && ::fsync(fd) != 0) {
        ok = false;
    }
    if (!ok) {
        strError = std::string("cannot write index: ") + std::strerror(errno);
        if (before >= 0 && done > 0) {
            (void)::ftruncate(fd, before);
        }
    }
    ::close(fd);
    return ok;
}

bool Storage::Commit(const fs::path& tempPath, StoredFile& file, std::string& strError) {
    std::error_code ec;
    file.DeleteKey = RandomHex(16);
    file.Time = std::chrono::duration_cast<std::chrono::seconds>(
                    std::chrono::system_clock::now().time_since_epoch())
                    .count();
    std::lock_guard lock(m_Mutex);
    do {
        file.Id = RandomHex(8);
    } while (m_Files.contains(file.Id) || fs::exists(m_Root / "files" / file.Id, ec));

    const fs::path target = m_Root / "files" / file.Id;
    fs::create_directories(m_Root / "files", ec);
    fs::rename(tempPath, target, ec);
    if (ec) {
        strError = "cannot store upload: " + ec.message();
        fs::remove(tempPath, ec);
        return false;
    }
    SyncFolder(m_Root / "files");
    if (!AppendIndex(EncodeRecord(file), strError)) {
        fs::remove(target, ec);
        return false;
    }
    m_Files[file.Id] = file;
    return true;
}

std::optional<StoredFile> Storage::Find(const std::string& strId) const {
    std::lock_guard lock(m_Mutex);
    const auto it = m_Files.find(strId);
    if (it == m_Files.end()) {
        return std::nullopt;
    }
    return it->second;
}

Storage::RemoveResult Storage::Remove(const std::string& strId, const std::string& strKey) {
    std::lock_guard lock(m_Mutex);
    const auto it = m_Files.find(strId);
    if (it == m_Files.end()) {
        return RemoveResult::NotFound;
    }
    if (!SecretEquals(it->second.DeleteKey, strKey)) {
        return RemoveResult::WrongKey;
    }
    std::string error;
    // The index line goes first: if it cannot be written the file stays, consistently.
    if (!AppendIndex("del\tid=" + strId + "\n", error)) {
        return RemoveResult::Failed;
    }
    m_Files.erase(it);
    std::error_code ec;
    fs::remove(m_Root / "files" / strId, ec);
    return RemoveResult::Removed;
}

Storage::~Storage() {
    if (m_LockFd >= 0) {
        ::close(m_LockFd);
    }
}

} // namespace service
