#pragma once
// A temporary folder for one test, removed with everything in it on destruction, and file
// helpers: write given bytes or N pseudo-random bytes (streamed, so files of several GiB need no
// memory), and the SHA-256 of a file.
#include <cstdint>
#include <string>

namespace testsupport {

class TempDir {
public:
    // A new folder under $TMPDIR (else /tmp).
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    // The folder, without a trailing "/"; "" when it could not be created.
    const std::string& Path() const { return m_Path; }
    // Path() + "/" + name.
    std::string FilePath(const std::string& name) const;
    // Writes content to name (replacing it) and returns its full path ("" on failure).
    std::string WriteFile(const std::string& name, const std::string& content) const;
    // Writes size pseudo-random bytes drawn from seed to name; the same seed gives the same bytes.
    std::string WriteRandomFile(const std::string& name, int64_t size, uint32_t seed = 1) const;

private:
    std::string m_Path;
};

// Lowercase hex SHA-256 of a file's bytes ("" when it cannot be read), and of a string.
std::string FileSha256(const std::string& path);
std::string Sha256(const std::string& data);
// The whole file as a string ("" when it cannot be read).
std::string ReadFile(const std::string& path);

} // namespace testsupport
