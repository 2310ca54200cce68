#pragma once
// Path and file operations. Paths use "/" as separator. Failures are reported by the result
// (false, 0, an empty string or the single-empty-entry list), never by an exception.
#include <cstdint>
#include <string>
#include <vector>

namespace modFileSystem {

// --- files the HTTP client stands on -------------------------------------------------------
// True when the path exists and is not a folder.
bool FileExists(const std::string& path);
// A file without write permission for its owner is read-only: deleted only with force, after
// its permission was widened.
bool DeleteFile(const std::string& path, bool force);
// Size in bytes; 0 when the file cannot be opened for reading.
int64_t GetFileSize(const std::string& path);
// A new empty file "TMP…" in folder, or in $TMPDIR (else /tmp) when folder is empty; its path,
// or "" on failure.
std::string TempFile(const std::string& folder);
// The content type of the file's extension: /etc/mime.types, then a built-in table, then
// "application/octet-stream".
std::string GetContentType(const std::string& path);

// --- paths and folders ------------------------------------------------------------------------
std::string AddBackslash(const std::string& path); // appends "/" when missing
std::string GetFileName(const std::string& path, bool stripExtension = false);
std::string GetFileExtension(const std::string& path, bool withDot = false);
std::string GetFolder(const std::string& path);
// Bare names of the folder's entries matching the shell pattern, sorted by name, "." and ".."
// left out; index 0 is unused (empty) so that entries are 1-based. Nothing matching gives the
// single empty entry (size 1, upper bound 0).
std::vector<std::string> ListFiles(const std::string& folder, const std::string& pattern);
std::string TrimAtNul(const std::string& text);
// The regular files of a folder and its subfolders (symbolic links to files count; linked folders
// are not entered, so a link loop cannot run forever), as folder + "/" + relative path, in name
// order: each folder's entries sorted as ListFiles sorts them, a subfolder's files where its name
// falls. Empty when the folder cannot be read. A dropped folder and "vostrand-upload -r" add these.
std::vector<std::string> FolderFiles(const std::string& folder);

} // namespace modFileSystem
