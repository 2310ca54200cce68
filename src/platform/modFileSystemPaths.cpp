// The path half of modFileSystem: splitting paths and listing folders.
#include "platform/modFileSystem.h"

#include <algorithm>
#include <dirent.h>
#include <fnmatch.h>
#include <sys/stat.h>

namespace modFileSystem {

namespace {
std::string Upper(std::string text) {
    for (char& c : text) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return text;
}
} // namespace

std::string AddBackslash(const std::string& path) {
    if (!path.empty() && path.back() == '/') {
        return path;
    }
    return path + "/";
}

std::string GetFileName(const std::string& path, bool stripExtension) {
    const size_t slash = path.rfind('/');
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    if (stripExtension) {
        const size_t dot = name.rfind('.');
        if (dot != std::string::npos) {
            name.resize(dot);
        }
    }
    return name;
}

std::string GetFileExtension(const std::string& path, bool withDot) {
    const std::string name = GetFileName(path, false);
    const size_t dot = name.rfind('.');
    if (dot == std::string::npos) {
        return {};
    }
    return name.substr(withDot ? dot : dot + 1);
}

std::string GetFolder(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

std::vector<std::string> ListFiles(const std::string& folder, const std::string& pattern) {
    std::vector<std::string> names;
    // "*.*" means every entry to the callers, as it did on the original system, where it also
    // matched names without a dot.
    const std::string glob = pattern == "*.*" ? "*" : pattern;
    DIR* dir = opendir(folder.empty() ? "." : folder.c_str());
    if (dir != nullptr) {
        while (const dirent* entry = readdir(dir)) {
            const std::string name = entry->d_name;
            if (name == "." || name == "..") {
                continue;
            }
            if (fnmatch(glob.c_str(), name.c_str(), 0) == 0) {
                names.push_back(name);
            }
        }
        closedir(dir);
    }
    // Name order without regard to letter case, as the original's file system listed a folder, so
    // that "deutsch.ini" does not land behind "Zulu.ini"; names equal but for case keep byte order.
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
        const std::string ua = Upper(a), ub = Upper(b);
        return ua != ub ? ua < ub : a < b;
    });
    names.insert(names.begin(), std::string());
    return names;
}

std::string TrimAtNul(const std::string& text) {
    const size_t nul = text.find('\0');
    return nul == std::string::npos ? text : text.substr(0, nul);
}

std::vector<std::string> FolderFiles(const std::string& folder) {
    std::vector<std::string> files;
    const std::string prefix = AddBackslash(folder);
    const std::vector<std::string> names = ListFiles(folder, "*");
    for (size_t i = 1; i < names.size(); ++i) {
        const std::string path = prefix + names[i];
        struct stat own {};
        if (lstat(path.c_str(), &own) != 0) {
            continue;
        }
        if (S_ISDIR(own.st_mode)) {
            const auto inner = FolderFiles(path);
            files.insert(files.end(), inner.begin(), inner.end());
            continue;
        }
        struct stat target {};
        if (stat(path.c_str(), &target) == 0 && S_ISREG(target.st_mode)) {
            files.push_back(path);
        }
    }
    return files;
}

} // namespace modFileSystem
