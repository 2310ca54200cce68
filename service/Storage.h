// The service's file store: uploaded files under generated ids in <root>/files, uploads in
// progress in <root>/tmp, and an append-only index (<root>/index.log, one line per event) that
// survives restarts. Names sent by clients are kept as data only, never used as paths.
// All members are thread-safe.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <string>

namespace service {

struct StoredFile {
    std::string Id;        // 16 hex digits, also the file's name in <root>/files
    std::string DeleteKey; // secret of the delete link
    std::string Name;      // original file name (last path component only)
    std::string ContentType;
    std::string Password; // download password, empty for none
    std::string Description;
    std::string Referal; // "Bin-Layer-ID"
    std::string User;    // premium account, empty for anonymous uploads
    bool Publish = false;
    int64_t Size = 0;
    int64_t Time = 0; // seconds since the epoch
};

class Storage {
public:
    enum class RemoveResult { Removed, NotFound, WrongKey, Failed };

    Storage() = default;
    ~Storage();
    Storage(const Storage&) = delete;
    Storage& operator=(const Storage&) = delete;

    // Creates the folders when missing, reads the index, and clears what an interrupted run left
    // behind (partial uploads, files without an index entry). False with `strError` on failure.
    bool Open(const std::filesystem::path& root, std::string& strError);

    // A fresh, not yet existing path for an upload in progress.
    std::filesystem::path NewTempPath() const;

    // Moves a finished upload from `tempPath` into the store and records it durably. Fills in
    // Id, DeleteKey and Time. On failure the temporary file is removed.
    bool Commit(const std::filesystem::path& tempPath, StoredFile& file, std::string& strError);

    std::optional<StoredFile> Find(const std::string& strId) const;
    std::filesystem::path PathOf(const std::string& strId) const;
    RemoveResult Remove(const std::string& strId, const std::string& strKey);

private:
    bool AppendIndex(const std::string& strLine, std::string& strError);
    void LoadIndex();

    std::filesystem::path m_Root;
    int m_LockFd = -1; // held for the life of the object: one service per store
    mutable std::mutex m_Mutex;
    std::map<std::string, StoredFile> m_Files;
};

} // namespace service
