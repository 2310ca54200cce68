#include "ui/ConfigDialogLogic.h"

#include "settings/modConfig.h"

namespace {

constexpr ConfigTextBox ProxyGroup[] = {ConfigTextBox::ProxyHostname, ConfigTextBox::ProxyPort,
                                        ConfigTextBox::ProxyUsername, ConfigTextBox::ProxyPassword};
constexpr ConfigTextBox PremiumGroup[] = {ConfigTextBox::PremiumUsername,
                                          ConfigTextBox::PremiumPassword};

} // namespace

const char* ControlName(ConfigTextBox box) {
    static const char* const names[ConfigTextBoxCount] = {
        "txtUploadBinLayerID", "txtUploadDescription", "txtUploadPassword",
        "txtProxyHostname",    "txtProxyPort",         "txtProxyUsername",
        "txtProxyPassword",    "txtPremiumUsername",   "txtPremiumPassword"};
    return names[static_cast<int>(box)];
}

const char* ControlName(ConfigCheckBox box) {
    static const char* const names[ConfigCheckBoxCount] = {"chkUploadRemoveCompleteFile",
                                                           "chkProxyUse", "chkPremiumUse"};
    return names[static_cast<int>(box)];
}

ConfigDialogLogic::ConfigDialogLogic(ConfigDialogView& view, ConfigSettings& settings)
    : m_View(view), m_Settings(settings) {}

void ConfigDialogLogic::Load() {
    m_View.SetChecked(ConfigCheckBox::UploadRemoveCompleteFile, m_Settings.RemoveCompleteFiles());
    m_View.SetText(ConfigTextBox::UploadBinLayerID, m_Settings.UploadBinLayerID());
    m_View.SetText(ConfigTextBox::UploadDescription, m_Settings.UploadDescription());
    m_View.SetText(ConfigTextBox::UploadPassword, m_Settings.UploadPassword());

    if (!ValidPort(m_Settings.ProxyPort())) {
        m_Settings.SetProxyUse(false);
        m_Settings.SetProxyPort(DefaultProxyPort);
    }
    m_View.SetChecked(ConfigCheckBox::ProxyUse, m_Settings.ProxyUse());
    m_View.SetText(ConfigTextBox::ProxyHostname, m_Settings.ProxyHostname());
    // Its change rule remembers the loaded port as the last valid one.
    m_View.SetText(ConfigTextBox::ProxyPort, std::to_string(m_Settings.ProxyPort()));
    m_View.SetText(ConfigTextBox::ProxyUsername, m_Settings.ProxyUsername());
    m_View.SetText(ConfigTextBox::ProxyPassword, m_Settings.ProxyPassword());
    EnableGroup(ConfigCheckBox::ProxyUse, m_Settings.ProxyUse());

    m_View.SetChecked(ConfigCheckBox::PremiumUse, m_Settings.PremiumUse());
    m_View.SetText(ConfigTextBox::PremiumUsername, m_Settings.PremiumUsername());
    m_View.SetText(ConfigTextBox::PremiumPassword, m_Settings.PremiumPassword());
    EnableGroup(ConfigCheckBox::PremiumUse, m_Settings.PremiumUse());

    SetApplyEnabled(false); // filling the boxes enabled it
    m_View.ShowPanel(1);
}

void ConfigDialogLogic::tabConfig_Click(int32_t index) {
    m_View.ShowPanel(index);
}

void ConfigDialogLogic::CheckBoxClick(ConfigCheckBox box) {
    // The remove-finished box is read only by Apply and OK; toggling it alone enables nothing.
    if (box == ConfigCheckBox::UploadRemoveCompleteFile) {
        return;
    }
    SetApplyEnabled(true);
    EnableGroup(box, m_View.Checked(box));
}

void ConfigDialogLogic::TextChanged(ConfigTextBox box) {
    if (box == ConfigTextBox::ProxyPort) {
        PortChanged();
    } else {
        SetApplyEnabled(true);
    }
}

bool ConfigDialogLogic::PortKeyPress(int32_t character) {
    const bool digit = character >= '0' && character <= '9';
    if (digit || character == 8 || character == 3 || character == 22 || character == 24) {
        return true;
    }
    m_View.Beep();
    return false;
}

void ConfigDialogLogic::PortChanged() {
    SetApplyEnabled(true);
    const std::string text = m_View.Text(ConfigTextBox::ProxyPort);
    if (text.empty()) { // accepted while typing; leaving the box corrects it
        return;
    }
    const int32_t port = modConfig::LeadingInteger(text);
    if (ValidPort(port)) {
        m_LastValidPort = port;
        return;
    }
    // Putting the last valid port back raises this rule once more, with a valid text. Before
    // any valid port there is none to put back, and an empty box ends the round.
    m_View.SetText(ConfigTextBox::ProxyPort,
                   m_LastValidPort > 0 ? std::to_string(m_LastValidPort) : std::string());
    m_View.Beep();
}

void ConfigDialogLogic::PortLostFocus() {
    if (!ValidPort(modConfig::LeadingInteger(m_View.Text(ConfigTextBox::ProxyPort)))) {
        m_View.SetText(ConfigTextBox::ProxyPort, std::to_string(DefaultProxyPort));
        m_View.Beep();
    }
}

void ConfigDialogLogic::cmdApply_Click() {
    SetApplyEnabled(false);
    const auto text = [this](ConfigTextBox box) { return m_View.Text(box); };
    m_Settings.SetRemoveCompleteFiles(m_View.Checked(ConfigCheckBox::UploadRemoveCompleteFile));
    m_Settings.SetUploadBinLayerID(text(ConfigTextBox::UploadBinLayerID));
    m_Settings.SetUploadDescription(text(ConfigTextBox::UploadDescription));
    m_Settings.SetUploadPassword(text(ConfigTextBox::UploadPassword));

    m_Settings.SetProxyUse(m_View.Checked(ConfigCheckBox::ProxyUse));
    m_Settings.SetProxyHostname(text(ConfigTextBox::ProxyHostname));
    m_Settings.SetProxyPort(modConfig::LeadingInteger(text(ConfigTextBox::ProxyPort)));
    m_Settings.SetProxyUsername(text(ConfigTextBox::ProxyUsername));
    m_Settings.SetProxyPassword(text(ConfigTextBox::ProxyPassword));
    if (!ValidPort(m_Settings.ProxyPort())) {
        m_Settings.SetProxyUse(false);
        m_Settings.SetProxyPort(DefaultProxyPort);
    }

    m_Settings.SetPremiumUse(m_View.Checked(ConfigCheckBox::PremiumUse));
    m_Settings.SetPremiumUsername(text(ConfigTextBox::PremiumUsername));
    m_Settings.SetPremiumPassword(text(ConfigTextBox::PremiumPassword));
}

void ConfigDialogLogic::cmdOk_Click() {
    cmdApply_Click();
}

void ConfigDialogLogic::SetApplyEnabled(bool enabled) {
    m_ApplyEnabled = enabled;
    m_View.SetApplyEnabled(enabled);
}

void ConfigDialogLogic::EnableGroup(ConfigCheckBox box, bool enabled) {
    if (box == ConfigCheckBox::ProxyUse) {
        for (ConfigTextBox member : ProxyGroup) {
            m_View.SetLocked(member, !enabled);
        }
    } else if (box == ConfigCheckBox::PremiumUse) {
        for (ConfigTextBox member : PremiumGroup) {
            m_View.SetLocked(member, !enabled);
        }
    }
}
