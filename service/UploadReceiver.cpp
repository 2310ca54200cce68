#include "UploadReceiver.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <httplib.h>
#include <unistd.h>

namespace service {

namespace {

constexpr const char* kFilePart = "uploadfile_0";
// The text fields of one upload together, kept in memory by each worker.
constexpr size_t kMaxFieldBytes = 64 * 1024;
constexpr size_t kMaxParts = 64;
constexpr size_t kBufferBytes = 256 * 1024;

} // namespace

UploadReceiver::UploadReceiver(std::filesystem::path tempPath, int64_t lngMaxFileBytes,
                               bool blnKeepFile)
    : m_TempPath(std::move(tempPath)), m_MaxFileBytes(lngMaxFileBytes), m_KeepFile(blnKeepFile) {}

UploadReceiver::~UploadReceiver() {
    if (m_Fd >= 0) {
        ::close(m_Fd);
    }
    if (!m_Released) {
        std::error_code ec;
        std::filesystem::remove(m_TempPath, ec);
    }
}

bool UploadReceiver::Header(const httplib::MultipartFormData& part) {
    if (++m_Parts > kMaxParts) {
        m_Error = "too many form parts";
        return false;
    }
    if (part.name == kFilePart && !m_HasFile) {
        m_HasFile = true;
        m_FileName = part.filename;
        m_FileType = part.content_type;
        m_Target = Target::File;
        if (m_KeepFile) {
            m_Fd = ::open(m_TempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
            if (m_Fd < 0) {
                Discard(std::string("cannot create upload file: ") + std::strerror(errno));
                return true;
            }
            m_Buffer.reserve(kBufferBytes);
        }
        return true;
    }
    if (!part.filename.empty() || part.name == kFilePart) {
        m_Target = Target::None; // other files are not ours to keep
        return true;
    }
    m_Target = Target::Field;
    m_FieldName = part.name;
    m_Fields[m_FieldName].clear();
    return true;
}

bool UploadReceiver::Data(const char* data, size_t length) {
    switch (m_Target) {
    case Target::None:
        return true;
    case Target::Field: {
        m_FieldBytes += length;
        if (m_FieldBytes > kMaxFieldBytes) {
            m_Error = "form fields too long";
            return false;
        }
        m_Fields[m_FieldName].append(data, length);
        return true;
    }
    case Target::File:
        m_FileSize += static_cast<int64_t>(length);
        if (m_FileSize > m_MaxFileBytes) {
            // Keep reading so the client gets our answer instead of a reset connection, but
            // stop storing: the upload is refused anyway.
            m_TooLarge = true;
            Discard({});
            return true;
        }
        // Pieces are gathered so that the disk sees large writes.
        if (m_Fd >= 0 && m_Buffer.size() + length > kBufferBytes) {
            Flush();
        }
        if (m_Fd >= 0) {
            m_Buffer.insert(m_Buffer.end(), data, data + length);
        }
        return true;
    }
    return true;
}

bool UploadReceiver::Flush() {
    size_t done = 0;
    while (done < m_Buffer.size()) {
        const ssize_t n = ::write(m_Fd, m_Buffer.data() + done, m_Buffer.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            Discard(std::string("cannot write upload file: ") + std::strerror(errno));
            return false;
        }
        done += static_cast<size_t>(n);
    }
    m_Buffer.clear();
    return true;
}

void UploadReceiver::Discard(const std::string& strError) {
    if (!strError.empty()) {
        m_StorageFailed = true;
        m_Error = m_Error.empty() ? strError : m_Error;
    }
    m_Buffer.clear();
    if (m_Fd >= 0) {
        ::close(m_Fd);
        m_Fd = -1;
        ::unlink(m_TempPath.c_str());
    }
}

bool UploadReceiver::Finish() {
    if (m_StorageFailed || m_Fd < 0) {
        return !m_StorageFailed;
    }
    if (!Flush()) {
        return false;
    }
    if (::fsync(m_Fd) != 0) {
        Discard(std::string("cannot sync upload file: ") + std::strerror(errno));
        return false;
    }
    ::close(m_Fd);
    m_Fd = -1;
    return true;
}

std::string UploadReceiver::Field(const std::string& strName) const {
    const auto it = m_Fields.find(strName);
    return it == m_Fields.end() ? std::string() : it->second;
}

} // namespace service
