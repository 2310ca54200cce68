// The options dialog's rules over a view that behaves like the widgets: a typed character goes
// through the key filter, every text change (also the logic's own) raises the change rule, a
// click toggles the box first.
#include "settings/modConfig.h"
#include "ui/ConfigDialogLogic.h"

#include <gtest/gtest.h>

#include <array>
#include <sstream>

namespace {

using Box = ConfigTextBox;

class RecordingView : public ConfigDialogView {
public:
    std::array<std::string, ConfigTextBoxCount> texts;
    std::array<bool, ConfigCheckBoxCount> checks{};
    std::array<bool, ConfigTextBoxCount> locked{};
    bool apply = true;
    int32_t panel = 0, beeps = 0;
    ConfigDialogLogic* logic = nullptr;

    std::string Text(Box box) const override { return texts[int(box)]; }
    void SetText(Box box, const std::string& text) override {
        if (texts[int(box)] != text) { // an unchanged text raises no change, as in a line edit
            texts[int(box)] = text;
            logic->TextChanged(box);
        }
    }
    bool Checked(ConfigCheckBox box) const override { return checks[int(box)]; }
    void SetChecked(ConfigCheckBox box, bool checked) override { checks[int(box)] = checked; }
    void SetLocked(Box box, bool value) override { locked[int(box)] = value; }
    void SetApplyEnabled(bool enabled) override { apply = enabled; }
    void ShowPanel(int32_t index) override { panel = index; }
    void Beep() override { ++beeps; }

    // Plays the user's steps, separated by ";": "type:X" into the port box, "paste:X" over it,
    // "leave" it, "click:N" check box N, "tab:N", "texts:X" typed into every other box.
    void Play(const std::string& steps) {
        std::istringstream in(steps);
        for (std::string step; std::getline(in, step, ';');) {
            const auto colon = step.find(':');
            const std::string verb = step.substr(0, colon);
            const std::string arg = colon == std::string::npos ? "" : step.substr(colon + 1);
            if (verb == "type")
                for (char c : arg)
                    if (logic->PortKeyPress(c))
                        SetText(Box::ProxyPort, Text(Box::ProxyPort) + c);
            if (verb == "texts")
                for (int b = 0; b < ConfigTextBoxCount; ++b)
                    if (Box(b) != Box::ProxyPort)
                        SetText(Box(b), texts[b] + arg);
            if (verb == "paste")
                SetText(Box::ProxyPort, arg);
            if (verb == "leave")
                logic->PortLostFocus();
            if (verb == "click") {
                checks[std::stoi(arg)] = !checks[std::stoi(arg)];
                logic->CheckBoxClick(ConfigCheckBox(std::stoi(arg)));
            }
            if (verb == "tab")
                logic->tabConfig_Click(std::stoi(arg));
        }
    }
    // The port box, beeps, Apply, the locked boxes and the panel.
    std::string Shown() const {
        std::string text = texts[int(Box::ProxyPort)] + " b" + std::to_string(beeps) + " a" +
                           std::to_string(apply) + " ";
        for (bool box : locked)
            text += box ? '1' : '0';
        return text + " p" + std::to_string(panel);
    }
};

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
        int32_t storedPort;
        const char* steps;
        const char* shown;  // after the steps
        const char* stored; // after Apply or OK
    } rows[] = {
        // Load corrects a port out of range in the store: proxy off, 8080, its group locked.
        {8080, "", "8080 b0 a0 000000000 p1", "R0 P1:8080 M1"},
        {0, "", "8080 b0 a0 000111100 p1", "R0 P0:8080 M1"},
        {65536, "", "8080 b0 a0 000111100 p1", "R0 P0:8080 M1"},
        {1, "", "1 b0 a0 000000000 p1", "R0 P1:1 M1"},
        {65535, "", "65535 b0 a0 000000000 p1", "R0 P1:65535 M1"},
        {8080, "tab:3", "8080 b0 a0 000000000 p3", "R0 P1:8080 M1"},
        // The port box: key filter, change rule (last valid port back), leave rule (8080).
        {8080, "type:a", "8080 b1 a0 000000000 p1", "R0 P1:8080 M1"},
        {8080, "type: -", "8080 b2 a0 000000000 p1", "R0 P1:8080 M1"},
        {8080, "type:\b\x03\x16\x18", "8080\b\x03\x16\x18 b0 a1 000000000 p1", "R0 P1:8080 M1"},
        {8080, "paste:;type:70000", "7000 b1 a1 000000000 p1", "R0 P1:7000 M1"},
        {8080, "paste:;leave", "8080 b1 a1 000000000 p1", "R0 P1:8080 M1"},
        {8080, "paste:81abc;leave", "81abc b0 a1 000000000 p1", "R0 P1:81 M1"},
        {8080, "paste:0", "8080 b1 a1 000000000 p1", "R0 P1:8080 M1"},
        {8080, "paste:443;paste:99999", "443 b1 a1 000000000 p1", "R0 P1:443 M1"},
        // OK with an empty box: no leave, so Apply's own rule turns the proxy off.
        {8080, "paste:", " b0 a1 000000000 p1", "R0 P0:8080 M1"},
        // The check boxes lock their groups; the remove-finished box alone enables nothing.
        {8080, "click:1", "8080 b0 a1 000111100 p1", "R0 P0:8080 M1"},
        {8080, "click:2", "8080 b0 a1 000000011 p1", "R0 P1:8080 M0"},
        {8080, "click:0", "8080 b0 a0 000000000 p1", "R1 P1:8080 M1"},
        {8080, "texts:2", "8080 b0 a1 000000000 p1", "R0 P1:8080 M1 a2b2c2d2e2f2g2h2"},
    };
    for (const auto& row : rows) {
        for (bool ok : {false, true}) {
            SCOPED_TRACE(std::to_string(row.storedPort) + " " + row.steps + (ok ? " OK" : ""));
            ConfigSettings settings;
            settings.SetProxyUse(true);
            settings.SetPremiumUse(true);
            settings.SetProxyPort(row.storedPort);
            settings.SetUploadBinLayerID("a");
            settings.SetUploadDescription("b");
            settings.SetUploadPassword("c");
            settings.SetProxyHostname("d");
            settings.SetProxyUsername("e");
            settings.SetProxyPassword("f");
            settings.SetPremiumUsername("g");
            settings.SetPremiumPassword("h");
            RecordingView view;
            ConfigDialogLogic logic(view, settings);
            view.logic = &logic;
            logic.Load();
            if (!*row.steps) { // a port out of range is corrected in the store at once
                EXPECT_EQ(Stored(settings), row.stored);
            }
            view.Play(row.steps);
            EXPECT_EQ(view.Shown(), row.shown);
            EXPECT_EQ(logic.ApplyEnabled(), view.apply);
            ok ? logic.cmdOk_Click() : logic.cmdApply_Click();
            EXPECT_EQ(Stored(settings), row.stored);
            // Apply turns itself off and does not refresh the boxes.
            std::string after = row.shown;
            after[after.find(" a") + 2] = '0';
            EXPECT_EQ(view.Shown(), after);
        }
    }
}

} // namespace
