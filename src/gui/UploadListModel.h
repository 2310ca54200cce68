#pragma once
// The upload list as a Qt table model. It keeps no copy of the rows: it reads the UploadList it
// is handed and turns the list's change events into the model's begin/end signals, so a view
// always sees the list as it is. DisplayRole is the column's text; RawValueRole the number
// behind it (size, bytes sent, speed, percent, state), for the progress bar and for sorting.
//
// The model sets the list's events for its lifetime and clears them in its destructor.
#include "upload/UploadItem.h"

#include <QAbstractTableModel>
#include <QHash>
#include <QIcon>
#include <QStringList>

class UploadListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    static constexpr int RawValueRole = Qt::UserRole + 1;
    static constexpr int ColumnCount = static_cast<int>(UploadColumn::Count);

    explicit UploadListModel(UploadList& list, QObject* parent = nullptr);
    ~UploadListModel() override;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

    void SetHeaderText(int column, const QString& text);
    // The small icon of each extension key ("" for names without one).
    void SetIcon(const QString& key, const QIcon& icon) { m_Icons.insert(key, icon); }
    bool HasIcon(const QString& key) const { return m_Icons.contains(key); }

private:
    UploadList& m_List;
    QStringList m_Headers;
    QHash<QString, QIcon> m_Icons;
};
