#pragma once
// ConfigDialogLogic: what the options dialog (frmConfig) decides, without a widget. Loading the
// settings into the boxes, which boxes a check box unlocks, when Apply is enabled, the port box's
// key filter, change and leave rules, and the Apply operation.
//
// Owner: the dialog, which realises ConfigDialogView and forwards its widgets' events. The view
// and the settings outlive the logic. Settings change only on Apply and OK; Cancel leaves what an
// earlier Apply stored.
#include <cstdint>
#include <string>

class ConfigSettings;

// The nine text boxes, in dialog order.
enum class ConfigTextBox {
    UploadBinLayerID,
    UploadDescription,
    UploadPassword,
    ProxyHostname,
    ProxyPort,
    ProxyUsername,
    ProxyPassword,
    PremiumUsername,
    PremiumPassword,
};
inline constexpr int ConfigTextBoxCount = 9;

enum class ConfigCheckBox { UploadRemoveCompleteFile, ProxyUse, PremiumUse };
inline constexpr int ConfigCheckBoxCount = 3;

// The control names ("txtProxyPort", "chkProxyUse"), which the widgets carry as object names.
const char* ControlName(ConfigTextBox box);
const char* ControlName(ConfigCheckBox box);

class ConfigDialogView {
public:
    virtual ~ConfigDialogView() = default;

    virtual std::string Text(ConfigTextBox box) const = 0;
    // Raises the box's change (ConfigDialogLogic::TextChanged) as an edit by the user would.
    virtual void SetText(ConfigTextBox box, const std::string& text) = 0;
    virtual bool Checked(ConfigCheckBox box) const = 0;
    // Raises no click.
    virtual void SetChecked(ConfigCheckBox box, bool checked) = 0;
    // Locked: read-only with the button-face background; the text can still be selected.
    virtual void SetLocked(ConfigTextBox box, bool locked) = 0;
    virtual void SetApplyEnabled(bool enabled) = 0;
    // Shows panel 1 (upload), 2 (proxy) or 3 (premium) and only it.
    virtual void ShowPanel(int32_t index) = 0;
    virtual void Beep() = 0;
};

class ConfigDialogLogic {
public:
    static constexpr int32_t DefaultProxyPort = 8080;
    static constexpr int32_t MaxPortLength = 5;
    static constexpr int32_t MaxTextLength = 64;

    ConfigDialogLogic(ConfigDialogView& view, ConfigSettings& settings);

    // The settings into the boxes (an out-of-range ProxyPort is first corrected in the store:
    // proxy off, 8080), the groups locked or not, Apply off, panel 1.
    void Load();

    // --- events of the view ---------------------------------------------------------------
    void tabConfig_Click(int32_t index);
    // A click on a check box, after it changed its state.
    void CheckBoxClick(ConfigCheckBox box);
    // Every change of a box's text, also those the logic makes through SetText.
    void TextChanged(ConfigTextBox box);
    // A character typed into txtProxyPort (8 backspace, 3 copy, 22 paste, 24 cut); false when
    // it must be dropped, which has beeped.
    bool PortKeyPress(int32_t character);
    // txtProxyPort lost the focus to another control of the dialog.
    void PortLostFocus();
    void cmdApply_Click();
    // Applies whether Apply is enabled or not; the view then closes.
    void cmdOk_Click();

    bool ApplyEnabled() const { return m_ApplyEnabled; }
    int32_t LastValidPort() const { return m_LastValidPort; }

    static bool ValidPort(int32_t port) { return port >= 1 && port <= 65535; }

private:
    void SetApplyEnabled(bool enabled);
    void EnableGroup(ConfigCheckBox box, bool enabled);
    void PortChanged();

    ConfigDialogView& m_View;
    ConfigSettings& m_Settings;
    bool m_ApplyEnabled = false;
    int32_t m_LastValidPort = 0;
};
