#pragma once
// The modal boxes and file dialogs of the main window. The window asks through this interface,
// so tests answer without a nested event loop; QtDialogs shows the real ones.
#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>

class QWidget;

class DialogAnswerer {
public:
    virtual ~DialogAnswerer() = default;
    // flags: 16 error + OK, 36 question + Yes/No, 48 warning + OK, 64 information + OK. Returns
    // 6 for Yes, 7 for No, 1 for OK.
    virtual int32_t Message(QWidget* owner, const QString& title, const QString& text,
                            int32_t flags) = 0;
    // The entered text, or nothing when cancelled.
    virtual std::optional<QString> Input(QWidget* owner, const QString& prompt,
                                         const QString& title) = 0;
    // Existing files, as full paths; empty when cancelled.
    virtual QStringList OpenFiles(QWidget* owner, const QString& folder) = 0;
    // The chosen file, or empty when cancelled. No question before an existing file is chosen:
    // the upload log is appended to.
    virtual QString SaveFile(QWidget* owner, const QString& name, const QString& folder,
                             const QString& defaultSuffix) = 0;
};

class QtDialogs : public DialogAnswerer {
public:
    int32_t Message(QWidget* owner, const QString& title, const QString& text,
                    int32_t flags) override;
    std::optional<QString> Input(QWidget* owner, const QString& prompt,
                                 const QString& title) override;
    QStringList OpenFiles(QWidget* owner, const QString& folder) override;
    QString SaveFile(QWidget* owner, const QString& name, const QString& folder,
                     const QString& defaultSuffix) override;
};
