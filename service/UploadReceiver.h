// Receives one multipart upload as httplib hands it over, part by part: the file part
// "uploadfile_0" is streamed to a temporary file in bounded memory, every other part is kept as a
// (size-limited) text field. The destructor removes the temporary file unless Release was called,
// so an upload that breaks off leaves nothing behind. One object per request, one thread.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace httplib {
struct MultipartFormData;
}

namespace service {

class UploadReceiver {
public:
    // `lngMaxFileBytes`: larger files are drained but not kept (TooLarge). `blnKeepFile` false
    // drains the file without writing it (for requests already known to be refused).
    UploadReceiver(std::filesystem::path tempPath, int64_t lngMaxFileBytes, bool blnKeepFile);
    ~UploadReceiver();
    UploadReceiver(const UploadReceiver&) = delete;
    UploadReceiver& operator=(const UploadReceiver&) = delete;

    // httplib's multipart callbacks; false aborts the request (malformed). A file the disk
    // refuses is drained like a file that is too large, so the client still gets our answer.
    bool Header(const httplib::MultipartFormData& part);
    bool Data(const char* data, size_t length);

    // Flushes and syncs the file. False with Error when the disk refused it, now or earlier.
    bool Finish();
    // The caller took the file over (moved it into the store).
    void Release() { m_Released = true; }

    bool HasFile() const { return m_HasFile; }
    bool TooLarge() const { return m_TooLarge; }
    int64_t FileSize() const { return m_FileSize; }
    const std::string& FileName() const { return m_FileName; }
    const std::string& FileType() const { return m_FileType; }
    const std::filesystem::path& TempPath() const { return m_TempPath; }
    // A text field by name; empty when absent.
    std::string Field(const std::string& strName) const;
    const std::string& Error() const { return m_Error; }

private:
    bool Flush();
    // Stops storing: closes and removes the file; a non-empty `strError` marks a disk failure.
    void Discard(const std::string& strError);

    enum class Target { None, File, Field };

    std::filesystem::path m_TempPath;
    int64_t m_MaxFileBytes;
    bool m_KeepFile;
    int m_Fd = -1;
    bool m_Released = false;
    bool m_HasFile = false;
    bool m_TooLarge = false;
    bool m_StorageFailed = false;
    int64_t m_FileSize = 0;
    std::string m_FileName;
    std::string m_FileType;
    Target m_Target = Target::None;
    std::string m_FieldName;
    std::map<std::string, std::string> m_Fields;
    std::vector<char> m_Buffer;
    size_t m_Parts = 0;
    size_t m_FieldBytes = 0;
    std::string m_Error;
};

} // namespace service
