#include "DialogAnswerer.h"

#include <QDir>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>

namespace {
constexpr int32_t IdOk = 1;
constexpr int32_t IdYes = 6;
constexpr int32_t IdNo = 7;
} // namespace

int32_t QtDialogs::Message(QWidget* owner, const QString& title, const QString& text,
                           int32_t flags) {
    QMessageBox box(owner);
    box.setWindowTitle(title);
    box.setText(text);
    switch (flags & 0xF0) {
    case 16:
        box.setIcon(QMessageBox::Critical);
        break;
    case 32:
        box.setIcon(QMessageBox::Question);
        break;
    case 48:
        box.setIcon(QMessageBox::Warning);
        break;
    case 64:
        box.setIcon(QMessageBox::Information);
        break;
    default:
        break;
    }
    if ((flags & 0x0F) == 4) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(QMessageBox::Yes);
        return box.exec() == QMessageBox::Yes ? IdYes : IdNo;
    }
    box.setStandardButtons(QMessageBox::Ok);
    box.exec();
    return IdOk;
}

std::optional<QString> QtDialogs::Input(QWidget* owner, const QString& prompt,
                                        const QString& title) {
    bool ok = false;
    const QString text = QInputDialog::getText(owner, title, prompt, QLineEdit::Normal, {}, &ok);
    if (!ok) {
        return std::nullopt;
    }
    return text;
}

QStringList QtDialogs::OpenFiles(QWidget* owner, const QString& folder) {
    // The built-in filter's label, as the list has always offered it.
    return QFileDialog::getOpenFileNames(owner, {}, folder.isEmpty() ? QDir::homePath() : folder,
                                         QStringLiteral("Alle Dateien (*)"));
}

QString QtDialogs::SaveFile(QWidget* owner, const QString& name, const QString& folder,
                            const QString& defaultSuffix) {
    QFileDialog dialog(owner);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    dialog.setNameFilters(
        {QStringLiteral("Alle Dateien (*)"), QStringLiteral("Text Dateien (*.txt)")});
    dialog.setDefaultSuffix(defaultSuffix);
    dialog.setDirectory(folder.isEmpty() ? QDir::homePath() : folder);
    dialog.selectFile(name);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return {};
    }
    return dialog.selectedFiles().front();
}
