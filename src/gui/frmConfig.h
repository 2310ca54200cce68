#pragma once
// frmConfig: the options dialog. Modal, owned by the main window, created afresh for each
// opening; it edits the settings in memory (Apply, OK), which reach config.ini when the main
// window closes. What it decides lives in ConfigDialogLogic; the widgets only forward events.
#include "ui/ConfigDialogLogic.h"

#include <QDialog>

#include <array>
#include <functional>
#include <string>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTabWidget;

class frmConfig : public QDialog, private ConfigDialogView {
    Q_OBJECT
public:
    // settings outlives the dialog; languageFile is the active language file (may not exist).
    frmConfig(ConfigSettings& settings, const std::string& languageFile, QWidget* owner);
    ~frmConfig() override;

    // Section "Config" of the language file onto the title, tabs and captions; an empty or
    // missing text empties the caption.
    void ApplyLanguage();

    // The system beep (QApplication::beep); tests count it.
    std::function<void()> BeepSound;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // ConfigDialogView
    std::string Text(ConfigTextBox box) const override;
    void SetText(ConfigTextBox box, const std::string& text) override;
    bool Checked(ConfigCheckBox box) const override;
    void SetChecked(ConfigCheckBox box, bool checked) override;
    void SetLocked(ConfigTextBox box, bool locked) override;
    void SetApplyEnabled(bool enabled) override;
    void ShowPanel(int32_t index) override;
    void Beep() override;

    QLineEdit* Box(ConfigTextBox box) const { return m_Text[static_cast<size_t>(box)]; }
    QCheckBox* Check(ConfigCheckBox box) const { return m_Check[static_cast<size_t>(box)]; }

    ConfigDialogLogic m_Logic;
    std::string m_LanguageFile;
    std::array<QLineEdit*, ConfigTextBoxCount> m_Text{};
    std::array<QCheckBox*, ConfigCheckBoxCount> m_Check{};
    QTabWidget* tabConfig = nullptr;
    QPushButton* cmdOk = nullptr;
    QPushButton* cmdCancel = nullptr;
    QPushButton* cmdApply = nullptr;
};
