// The file operations the HTTP client stands on; the path helpers live in modFileSystemPaths.cpp.
#include "platform/modFileSystem.h"
#include "platform/modText.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>

namespace modFileSystem {

namespace {
using modText::Lower;

constexpr const char* FallbackType = "application/octet-stream";

// Extension (lowercase, without the dot) to content type.
using TypeTable = std::map<std::string, std::string>;

TypeTable ReadMimeTypes(const std::string& file) {
    TypeTable table;
    std::ifstream in(file);
    std::string line;
    while (std::getline(in, line)) {
        const auto hash = line.find('#');
        if (hash != std::string::npos)
            line.erase(hash);
        std::istringstream words(line);
        std::string type, extension;
        if (!(words >> type))
            continue;
        while (words >> extension)
            table.emplace(Lower(extension), type); // the first mention of an extension wins
    }
    return table;
}

const TypeTable& SystemTypes() {
    static const TypeTable table = ReadMimeTypes("/etc/mime.types");
    return table;
}

const TypeTable& BuiltinTypes() {
    static const TypeTable table = {
        {"txt", "text/plain"},
        {"html", "text/html"},
        {"htm", "text/html"},
        {"css", "text/css"},
        {"js", "text/javascript"},
        {"json", "application/json"},
        {"xml", "application/xml"},
        {"csv", "text/csv"},
        {"rtf", "application/rtf"},
        {"png", "image/png"},
        {"jpg", "image/jpeg"},
        {"jpeg", "image/jpeg"},
        {"gif", "image/gif"},
        {"bmp", "image/bmp"},
        {"webp", "image/webp"},
        {"svg", "image/svg+xml"},
        {"ico", "image/vnd.microsoft.icon"},
        {"tif", "image/tiff"},
        {"tiff", "image/tiff"},
        {"pdf", "application/pdf"},
        {"zip", "application/zip"},
        {"gz", "application/gzip"},
        {"tgz", "application/gzip"},
        {"bz2", "application/x-bzip2"},
        {"xz", "application/x-xz"},
        {"7z", "application/x-7z-compressed"},
        {"rar", "application/vnd.rar"},
        {"tar", "application/x-tar"},
        {"mp3", "audio/mpeg"},
        {"wav", "audio/wav"},
        {"ogg", "audio/ogg"},
        {"flac", "audio/flac"},
        {"m4a", "audio/mp4"},
        {"mp4", "video/mp4"},
        {"avi", "video/x-msvideo"},
        {"mkv", "video/x-matroska"},
        {"mov", "video/quicktime"},
        {"webm", "video/webm"},
        {"mpg", "video/mpeg"},
        {"mpeg", "video/mpeg"},
        {"doc", "application/msword"},
        {"docx", "application/vnd.openxmlformats-officedocument.wordprocessingml.document"},
        {"xls", "application/vnd.ms-excel"},
        {"xlsx", "application/vnd.openxmlformats-officedocument.spreadsheetml.sheet"},
        {"ppt", "application/vnd.ms-powerpoint"},
        {"pptx", "application/vnd.openxmlformats-officedocument.presentationml.presentation"},
        {"odt", "application/vnd.oasis.opendocument.text"},
        {"ods", "application/vnd.oasis.opendocument.spreadsheet"},
        {"odp", "application/vnd.oasis.opendocument.presentation"},
        {"exe", "application/x-msdownload"},
        {"msi", "application/x-msi"},
        {"iso", "application/x-iso9660-image"},
        {"apk", "application/vnd.android.package-archive"},
        {"jar", "application/java-archive"},
        {"swf", "application/x-shockwave-flash"},
    };
    return table;
}

} // namespace

bool FileExists(const std::string& path) {
    struct stat info {};
    return !path.empty() && ::stat(path.c_str(), &info) == 0 && !S_ISDIR(info.st_mode);
}

bool DeleteFile(const std::string& path, bool force) {
    if (!FileExists(path))
        return false;
    struct stat info {};
    // A symbolic link goes by itself; its target's permission is not its own.
    if (::lstat(path.c_str(), &info) != 0)
        return false;
    const bool readOnly = !S_ISLNK(info.st_mode) && !(info.st_mode & S_IWUSR);
    if (readOnly && (!force || ::chmod(path.c_str(), (info.st_mode & 07777) | S_IWUSR) != 0))
        return false;
    if (::unlink(path.c_str()) == 0)
        return true;
    if (readOnly) // not deleted after all: leave it as protected as it was
        ::chmod(path.c_str(), info.st_mode & 07777);
    return false;
}

int64_t GetFileSize(const std::string& path) {
    // Without O_NONBLOCK opening a named pipe waits for a writer, and the caller with it.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return 0;
    struct stat info {};
    const bool ok = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
    ::close(fd);
    return ok ? static_cast<int64_t>(info.st_size) : 0;
}

std::string TempFile(const std::string& folder) {
    std::string dir = folder;
    if (dir.empty()) {
        const char* tmp = std::getenv("TMPDIR");
        dir = tmp && *tmp ? tmp : "/tmp";
    }
    while (dir.size() > 1 && dir.back() == '/')
        dir.pop_back();
    std::string pattern = (dir == "/" ? "" : dir) + "/TMPXXXXXX";
    const int fd = ::mkstemp(pattern.data());
    if (fd < 0)
        return {};
    ::close(fd);
    return pattern;
}

std::string GetContentType(const std::string& path) {
    const auto slash = path.rfind('/');
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const auto dot = name.rfind('.');
    if (dot == std::string::npos)
        return FallbackType;
    const std::string extension = Lower(name.substr(dot + 1));
    if (extension.empty())
        return FallbackType;
    for (const TypeTable* table : {&SystemTypes(), &BuiltinTypes()}) {
        const auto hit = table->find(extension);
        if (hit != table->end() && !hit->second.empty())
            return hit->second;
    }
    return FallbackType;
}

} // namespace modFileSystem
