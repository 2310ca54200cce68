#include "upload/UploadItem.h"

#include "platform/modFileSystem.h"
#include "platform/modText.h"
#include "settings/modConfig.h"
#include "settings/modLanguage.h"

namespace {
const std::string& OrDash(const std::string& value) {
    static const std::string dash = "-";
    return value.empty() ? dash : value;
}
} // namespace

std::string UploadItem::ColumnText(UploadColumn column) const {
    switch (column) {
    case UploadColumn::FileName:
        return FileName;
    case UploadColumn::Publish:
        return PublishText;
    case UploadColumn::BinLayerId:
        return OrDash(BinLayerId);
    case UploadColumn::Description:
        return OrDash(FileDescription);
    case UploadColumn::Password:
        return OrDash(FilePassword);
    case UploadColumn::Size:
        return SizeText;
    case UploadColumn::Status:
        return StatusText;
    case UploadColumn::Progress:
        return ProgressText;
    case UploadColumn::Sent:
        return SentText;
    case UploadColumn::Speed:
        return SpeedText;
    case UploadColumn::Elapsed:
        return ElapsedText;
    case UploadColumn::Remaining:
        return RemainingText;
    case UploadColumn::DownloadUrl:
        return DownloadUrl;
    case UploadColumn::Count:
        break;
    }
    return {};
}

void UploadItem::SetPublish(bool publish, const modLanguage::TextLists& texts) {
    PublishFlag = publish ? "1" : "0";
    PublishText = texts.GetStatusText(publish ? StatusNumber::PublishYes : StatusNumber::PublishNo);
}

void UploadItem::ClearProgress() {
    ProgressText = SentText = SpeedText = ElapsedText = RemainingText = DownloadUrl = "-";
    BytesSent = 0;
    Speed = 0;
    Percent = -1;
}

std::shared_ptr<UploadItem> MakeUploadItem(const std::string& path, int64_t size,
                                           const ConfigSettings& settings,
                                           const modLanguage::TextLists& texts,
                                           const NumberFormat& format) {
    auto item = std::make_shared<UploadItem>();
    item->FilePath = path;
    item->FileName = modFileSystem::GetFileName(path);
    item->IconKey = ExtensionKey(path);
    item->FileSize = size;
    item->SetPublish(false, texts);
    item->BinLayerId = settings.UploadBinLayerID();
    item->FileDescription = settings.UploadDescription();
    item->FilePassword = settings.UploadPassword();
    item->SizeText = FormatSizeKB(size, format);
    item->StatusText = texts.GetStatusText(StatusNumber::Idle);
    item->UploadState = UploadStateWord::Idle;
    item->ClearProgress();
    return item;
}

std::string ExtensionKey(const std::string& path) {
    return modText::Lower(modFileSystem::GetFileExtension(path, true));
}

bool UploadList::Append(Row row) {
    if (!row || m_Index.count(row->FilePath) != 0) {
        return false;
    }
    const int32_t index = Count();
    if (AboutToInsert) {
        AboutToInsert(index);
    }
    m_Index.emplace(row->FilePath, row);
    m_Rows.push_back(std::move(row));
    if (Inserted) {
        Inserted(index);
    }
    return true;
}

bool UploadList::Remove(const std::string& key) {
    const int32_t index = IndexOf(key);
    return index >= 0 && RemoveAt(index);
}

bool UploadList::RemoveAt(int32_t index) {
    if (index < 0 || index >= Count()) {
        return false;
    }
    if (AboutToRemove) {
        AboutToRemove(index);
    }
    const auto it = m_Rows.begin() + index;
    m_Index.erase((*it)->FilePath);
    m_Rows.erase(it);
    if (Removed) {
        Removed(index);
    }
    return true;
}

void UploadList::Clear() {
    if (AboutToClear) {
        AboutToClear();
    }
    m_Rows.clear();
    m_Index.clear();
    if (Cleared) {
        Cleared();
    }
}

void UploadList::NotifyChanged(int32_t index, ColumnSet columns) const {
    if (Changed && index >= 0 && index < Count()) {
        Changed(index, columns);
    }
}

UploadList::Row UploadList::Find(const std::string& key) const {
    const auto it = m_Index.find(key);
    return it == m_Index.end() ? nullptr : it->second;
}

int32_t UploadList::IndexOf(const std::string& key) const {
    for (std::size_t i = 0; i < m_Rows.size(); ++i) {
        if (m_Rows[i]->FilePath == key) {
            return static_cast<int32_t>(i);
        }
    }
    return -1;
}

UploadList::Row UploadList::FirstIdle() const {
    for (const Row& row : m_Rows) {
        if (row->IsIdle()) {
            return row;
        }
    }
    return nullptr;
}
