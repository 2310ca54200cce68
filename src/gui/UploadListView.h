#pragma once
// lvwMain: the upload list as a flat tree view with extended selection. It accepts local files
// dropped from a file manager while dropping is allowed, draws the progress column as a bar, and
// a click below the last row leaves the list without a current row.
#include <QStyledItemDelegate>
#include <QTreeView>

class UploadListView : public QTreeView {
    Q_OBJECT
public:
    explicit UploadListView(QWidget* parent = nullptr);

    void SetDropEnabled(bool enabled) { m_DropEnabled = enabled; }
    bool DropEnabled() const { return m_DropEnabled; }

signals:
    // Local paths of a drop, in the drop data's order.
    void FilesDropped(const QStringList& paths);

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    bool m_DropEnabled = false;
};

// The progress column: a bar with the row's percent text; rows without progress ("-") are
// drawn as text.
class ProgressDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
};
