#include "TempDir.h"

#include <QCryptographicHash>
#include <QFile>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <vector>

namespace testsupport {

TempDir::TempDir() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/vostrand-test-XXXXXX";
    if (::mkdtemp(pattern.data()))
        m_Path = pattern;
}

TempDir::~TempDir() {
    if (m_Path.empty())
        return;
    std::error_code ec;
    // Read-only entries must not keep the folder alive.
    for (auto it = std::filesystem::recursive_directory_iterator(m_Path, ec);
         !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec))
        std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(m_Path, ec);
}

std::string TempDir::FilePath(const std::string& name) const {
    return m_Path + "/" + name;
}

std::string TempDir::WriteFile(const std::string& name, const std::string& content) const {
    const std::string path = FilePath(name);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
    out.close();
    return out ? path : std::string();
}

std::string TempDir::WriteRandomFile(const std::string& name, int64_t size, uint32_t seed) const {
    const std::string path = FilePath(name);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    std::mt19937 random(seed);
    std::vector<uint32_t> block(16 * 1024);
    while (out && size > 0) {
        for (auto& word : block)
            word = random();
        const int64_t bytes =
            std::min<int64_t>(size, static_cast<int64_t>(block.size() * sizeof(uint32_t)));
        out.write(reinterpret_cast<const char*>(block.data()), static_cast<std::streamsize>(bytes));
        size -= bytes;
    }
    out.close();
    return out ? path : std::string();
}

std::string FileSha256(const std::string& path) {
    QFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (!hash.addData(&file))
        return {};
    return hash.result().toHex().toStdString();
}

std::string Sha256(const std::string& data) {
    return QCryptographicHash::hash(
               QByteArrayView(data.data(), static_cast<qsizetype>(data.size())),
               QCryptographicHash::Sha256)
        .toHex()
        .toStdString();
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return {};
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

} // namespace testsupport
