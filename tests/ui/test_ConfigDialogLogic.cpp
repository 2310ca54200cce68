// The options dialog's rules over a view that behaves like the widgets: a typed character goes
// through the key filter, every text change (also the logic's own) raises the change rule, a
// click toggles the box first.
#include "settings/modConfig.h"
#include "ui/ConfigDialogLogic.h"

#include <gtest/gtest.h>

#include <array>
#include <functional>

namespace {

using Box = ConfigTextBox;
using Check = ConfigCheckBox;

struct V : ConfigDialogView {
    std::array<std::string, ConfigTextBoxCount> texts;
    std::array<bool, ConfigCheckBoxCount> checks{};
    std::string locked = std::string(ConfigTextBoxCount, '0');
    bool apply = true;
    int32_t panel = 0, beeps = 0;
    ConfigDialogLogic* logic = nullptr;

    std::string Text(Box box) const override { return texts[int(box)]; }
    void SetText(Box box, const std::string& text) override {
        if (std::exchange(texts[int(box)], text) != text) // unchanged raises none, as a line edit
            logic->TextChanged(box);
    }
    bool Checked(Check box) const override { return checks[int(box)]; }
    void SetChecked(Check box, bool checked) override { checks[int(box)] = checked; }
    void SetLocked(Box box, bool value) override { locked[int(box)] = value ? '1' : '0'; }
    void SetApplyEnabled(bool enabled) override { apply = enabled; }
    void ShowPanel(int32_t index) override { panel = index; }
    void Beep() override { ++beeps; }

    // The user on the port box.
    V& Type(const std::string& keys) {
        for (char c : keys)
            if (logic->PortKeyPress(c))
                SetText(Box::ProxyPort, Text(Box::ProxyPort) + c);
        return *this;
    }
    V& Paste(const std::string& text) {
        SetText(Box::ProxyPort, text);
        return *this;
    }
    void Leave() { logic->PortLostFocus(); }
    void Click(Check box) {
        checks[int(box)] = !checks[int(box)];
        logic->CheckBoxClick(box);
    }
    // The port box, beeps, Apply, the locked boxes and the panel.
    std::string Shown() const {
        return Text(Box::ProxyPort) + " b" + std::to_string(beeps) + " a" + std::to_string(apply) +
               " " + locked + " p" + std::to_string(panel);
    }
};

using Setter = void (ConfigSettings::*)(const std::string&);
constexpr Setter Texts[] = {
    &ConfigSettings::SetUploadBinLayerID, &ConfigSettings::SetUploadDescription,
    &ConfigSettings::SetUploadPassword,   &ConfigSettings::SetProxyHostname,
    &ConfigSettings::SetProxyUsername,    &ConfigSettings::SetProxyPassword,
    &ConfigSettings::SetPremiumUsername,  &ConfigSettings::SetPremiumPassword};

// The check boxes, the port and the texts when they differ from the loaded "a" to "h".
std::string Stored(const ConfigSettings& s) {
    const std::string texts = s.UploadBinLayerID() + s.UploadDescription() + s.UploadPassword() +
                              s.ProxyHostname() + s.ProxyUsername() + s.ProxyPassword() +
                              s.PremiumUsername() + s.PremiumPassword();
    return "R" + std::to_string(s.RemoveCompleteFiles()) + " P" + std::to_string(s.ProxyUse()) +
           ":" + std::to_string(s.ProxyPort()) + " M" + std::to_string(s.PremiumUse()) +
           (texts == "abcdefgh" ? "" : " " + texts);
}

TEST(ConfigDialogLogicTest, BoxesFollowTheRulesAndApplyStoresThem) {
    const struct {
        std::function<void(V&)> edit;
        const char* expected; // what the boxes show after the edit | what Apply or OK stored
        int32_t port = 8080;  // stored before Load
    } rows[] = {
        // Load corrects a port out of range in the store: proxy off, 8080, its group locked.
        {nullptr, "8080 b0 a0 000111100 p1 | R0 P0:8080 M1", 0},
        {nullptr, "8080 b0 a0 000111100 p1 | R0 P0:8080 M1", 65536},
        {nullptr, "1 b0 a0 000000000 p1 | R0 P1:1 M1", 1},
        {nullptr, "65535 b0 a0 000000000 p1 | R0 P1:65535 M1", 65535},
        {[](V& v) { v.logic->tabConfig_Click(3); }, "8080 b0 a0 000000000 p3 | R0 P1:8080 M1"},
        // The port box: key filter, change rule (last valid port back), leave rule (8080).
        {[](V& v) { v.Type("a -"); }, "8080 b3 a0 000000000 p1 | R0 P1:8080 M1"},
        {[](V& v) { v.Type("\b\x03\x16\x18"); },
         "8080\b\x03\x16\x18 b0 a1 000000000 p1 | R0 P1:8080 M1"},
        {[](V& v) { v.Paste("").Type("70000"); }, "7000 b1 a1 000000000 p1 | R0 P1:7000 M1"},
        {[](V& v) { v.Paste("").Leave(); }, "8080 b1 a1 000000000 p1 | R0 P1:8080 M1"},
        {[](V& v) { v.Paste("81abc").Leave(); }, "81abc b0 a1 000000000 p1 | R0 P1:81 M1"},
        {[](V& v) { v.Paste("443").Paste("0"); }, "443 b1 a1 000000000 p1 | R0 P1:443 M1"},
        // OK with an empty box: no leave, so Apply's own rule turns the proxy off.
        {[](V& v) { v.Paste(""); }, " b0 a1 000000000 p1 | R0 P0:8080 M1"},
        // The check boxes lock their groups; the remove-finished box alone enables nothing.
        {[](V& v) { v.Click(Check::ProxyUse); }, "8080 b0 a1 000111100 p1 | R0 P0:8080 M1"},
        {[](V& v) { v.Click(Check::PremiumUse); }, "8080 b0 a1 000000011 p1 | R0 P1:8080 M0"},
        {[](V& v) { v.Click(Check::UploadRemoveCompleteFile); },
         "8080 b0 a0 000000000 p1 | R1 P1:8080 M1"},
        {[](V& v) {
             for (int b = 0; b < ConfigTextBoxCount; ++b)
                 if (Box(b) != Box::ProxyPort)
                     v.SetText(Box(b), v.Text(Box(b)) + "2");
         },
         "8080 b0 a1 000000000 p1 | R0 P1:8080 M1 a2b2c2d2e2f2g2h2"},
    };
    for (const auto& row : rows) {
        for (bool ok : {false, true}) {
            SCOPED_TRACE(std::string(row.expected) + (ok ? " OK" : " Apply"));
            ConfigSettings settings;
            settings.SetProxyUse(true);
            settings.SetPremiumUse(true);
            settings.SetProxyPort(row.port);
            for (char text = 'a'; Setter set : Texts)
                (settings.*set)(std::string(1, text++));
            V view;
            ConfigDialogLogic logic(view, settings);
            view.logic = &logic;
            logic.Load();
            const std::string loaded = Stored(settings); // corrected at once, silently
            if (row.edit)
                row.edit(view);
            const std::string shown = view.Shown();
            const bool apply = view.apply;
            EXPECT_EQ(logic.ApplyEnabled(), apply);
            ok ? logic.cmdOk_Click() : logic.cmdApply_Click();
            EXPECT_EQ(shown + " | " + (row.edit ? Stored(settings) : loaded), row.expected);
            EXPECT_FALSE(std::exchange(view.apply, apply)); // and it leaves the boxes alone
            EXPECT_EQ(view.Shown(), shown);
        }
    }
}

} // namespace
