// The options dialog's rules over a recording view that behaves like the widgets: a typed
// character goes through the key filter, every text change (also the logic's own) raises the
// change rule, a click toggles the box first.
#include "settings/modConfig.h"
#include "ui/ConfigDialogLogic.h"

#include <gtest/gtest.h>

#include <array>
#include <functional>

namespace {

using Box = ConfigTextBox;
using Check = ConfigCheckBox;

class RecordingView : public ConfigDialogView {
public:
    std::array<std::string, ConfigTextBoxCount> texts;
    std::array<bool, ConfigCheckBoxCount> checks{};
    std::array<bool, ConfigTextBoxCount> locked{};
    bool apply = true;
    int32_t panel = 0;
    int beeps = 0;
    ConfigDialogLogic* logic = nullptr;

    std::string Text(Box box) const override { return texts[Index(box)]; }
    void SetText(Box box, const std::string& text) override {
        if (texts[Index(box)] != text) { // an unchanged text raises no change, as in a line edit
            texts[Index(box)] = text;
            logic->TextChanged(box);
        }
    }
    bool Checked(Check box) const override { return checks[static_cast<int>(box)]; }
    void SetChecked(Check box, bool checked) override { checks[static_cast<int>(box)] = checked; }
    void SetLocked(Box box, bool value) override { locked[Index(box)] = value; }
    void SetApplyEnabled(bool enabled) override { apply = enabled; }
    void ShowPanel(int32_t index) override { panel = index; }
    void Beep() override { ++beeps; }

    // --- the user ---------------------------------------------------------------------------
    void Type(Box box, const std::string& characters) {
        for (char c : characters) {
            if (box != Box::ProxyPort || logic->PortKeyPress(c)) {
                SetText(box, Text(box) + c);
            }
        }
    }
    void Replace(Box box, const std::string& text) { SetText(box, text); } // select all, paste
    void Click(Check box) {
        checks[static_cast<int>(box)] = !checks[static_cast<int>(box)];
        logic->CheckBoxClick(box);
    }
    void Leave(Box box) {
        if (box == Box::ProxyPort) {
            logic->PortLostFocus();
        }
    }

private:
    static int Index(Box box) { return static_cast<int>(box); }
};

struct Dialog {
    ConfigSettings settings;
    RecordingView view;
    ConfigDialogLogic logic{view, settings};

    explicit Dialog(const std::function<void(ConfigSettings&)>& stored = {}) {
        settings.SetProxyUse(true);
        settings.SetProxyHostname("proxy.lan");
        settings.SetProxyPort(8080);
        settings.SetProxyUsername("pu");
        settings.SetProxyPassword("pp");
        settings.SetPremiumUse(true);
        settings.SetPremiumUsername("mu");
        settings.SetPremiumPassword("mp");
        settings.SetUploadBinLayerID("bin");
        settings.SetUploadDescription("desc");
        settings.SetUploadPassword("up");
        if (stored) {
            stored(settings);
        }
        view.logic = &logic;
        logic.Load();
    }
};

TEST(ConfigDialogLogicTest, LoadsTheSettingsAndCorrectsAPortOutOfRange) {
    const struct {
        int32_t port;
        bool proxyUse;
        std::string shown;
    } rows[] = {{0, false, "8080"},     {-1, false, "8080"}, {70000, false, "8080"},
                {65536, false, "8080"}, {1, true, "1"},      {65535, true, "65535"}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.port);
        Dialog d([&](ConfigSettings& s) { s.SetProxyPort(row.port); });
        EXPECT_EQ(d.view.Checked(Check::ProxyUse), row.proxyUse);
        EXPECT_EQ(d.settings.ProxyUse(), row.proxyUse); // corrected in the store, silently
        EXPECT_EQ(d.view.Text(Box::ProxyPort), row.shown);
        EXPECT_EQ(std::to_string(d.settings.ProxyPort()), row.shown);
        EXPECT_EQ(d.logic.LastValidPort(), d.settings.ProxyPort());
        EXPECT_EQ(d.view.locked[static_cast<int>(Box::ProxyPort)], !row.proxyUse);
        EXPECT_FALSE(d.view.apply);
        EXPECT_EQ(d.view.beeps, 0);
    }
    Dialog d;
    EXPECT_EQ(d.view.panel, 1);
    EXPECT_EQ(d.view.texts, (std::array<std::string, ConfigTextBoxCount>{
                                "bin", "desc", "up", "proxy.lan", "8080", "pu", "pp", "mu", "mp"}));
    EXPECT_EQ(d.view.locked, (std::array<bool, ConfigTextBoxCount>{}));
    d.logic.tabConfig_Click(3);
    EXPECT_EQ(d.view.panel, 3);
}

// The port box: key filter, change rule (last valid port back) and leave rule (8080), each
// correction with a beep; and what Apply then stores.
TEST(ConfigDialogLogicTest, PortBoxKeepsAValidPort) {
    const struct {
        const char* name;
        std::function<void(RecordingView&)> edit;
        std::string shown;
        int beeps;
        bool apply;
        int32_t stored; // ProxyPort after Apply
        bool proxyUse;
    } rows[] = {
        {"letter dropped", [](RecordingView& v) { v.Type(Box::ProxyPort, "a"); }, "8080", 1, false,
         8080, true},
        {"blank and minus dropped", [](RecordingView& v) { v.Type(Box::ProxyPort, " -"); }, "8080",
         2, false, 8080, true},
        {"7 then 70000 refused",
         [](RecordingView& v) {
             v.Replace(Box::ProxyPort, "");
             v.Type(Box::ProxyPort, "7");
             EXPECT_EQ(v.logic->LastValidPort(), 7);
             EXPECT_EQ(v.beeps, 0);
             v.Type(Box::ProxyPort, "0000");
         },
         "7000", 1, true, 7000, true},
        {"cleared and left",
         [](RecordingView& v) {
             v.Replace(Box::ProxyPort, "");
             EXPECT_EQ(v.beeps, 0); // empty is accepted while typing
             v.Leave(Box::ProxyPort);
         },
         "8080", 1, true, 8080, true},
        {"backspace and clipboard keys pass",
         [](RecordingView& v) {
             for (int32_t c : {8, 3, 22, 24}) {
                 EXPECT_TRUE(v.logic->PortKeyPress(c)) << c;
             }
         },
         "8080", 0, false, 8080, true},
        {"pasted 81abc reads as 81",
         [](RecordingView& v) {
             v.Replace(Box::ProxyPort, "81abc");
             v.Leave(Box::ProxyPort);
         },
         "81abc", 0, true, 81, true},
        {"pasted 0 refused", [](RecordingView& v) { v.Replace(Box::ProxyPort, "0"); }, "8080", 1,
         true, 8080, true},
        {"pasted 99999 refused after a valid 443",
         [](RecordingView& v) {
             v.Replace(Box::ProxyPort, "443");
             v.Replace(Box::ProxyPort, "99999");
         },
         "443", 1, true, 443, true},
        // Enter on OK with an empty box: no leave, so Apply's own port rule turns the proxy off.
        {"empty when applied", [](RecordingView& v) { v.Replace(Box::ProxyPort, ""); }, "", 0, true,
         8080, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        Dialog d;
        row.edit(d.view);
        EXPECT_EQ(d.view.Text(Box::ProxyPort), row.shown);
        EXPECT_EQ(d.view.beeps, row.beeps);
        EXPECT_EQ(d.logic.ApplyEnabled(), row.apply);
        d.logic.cmdApply_Click();
        EXPECT_EQ(d.settings.ProxyPort(), row.stored);
        EXPECT_EQ(d.settings.ProxyUse(), row.proxyUse);
        EXPECT_EQ(d.view.Text(Box::ProxyPort), row.shown); // Apply does not refresh the boxes
    }
}

// Which edits enable Apply, what locks a group, and what Apply, OK and Cancel store.
TEST(ConfigDialogLogicTest, EditsEnableApplyAndApplyStoresTheBoxes) {
    const struct {
        const char* name;
        std::function<void(RecordingView&)> edit;
        bool applyEnabled;
        std::function<void(const ConfigSettings&)> stored;
    } rows[] = {
        {"proxy unchecked",
         [](RecordingView& v) {
             v.Click(Check::ProxyUse);
             for (Box b :
                  {Box::ProxyHostname, Box::ProxyPort, Box::ProxyUsername, Box::ProxyPassword}) {
                 EXPECT_TRUE(v.locked[static_cast<int>(b)]);
             }
             EXPECT_FALSE(v.locked[static_cast<int>(Box::PremiumUsername)]);
         },
         true,
         [](const ConfigSettings& s) {
             EXPECT_FALSE(s.ProxyUse());
             EXPECT_EQ(s.ProxyHostname() + s.ProxyUsername() + s.ProxyPassword(), "proxy.lanpupp");
             EXPECT_EQ(s.ProxyPort(), 8080);
         }},
        {"premium unchecked",
         [](RecordingView& v) {
             v.Click(Check::PremiumUse);
             EXPECT_TRUE(v.locked[static_cast<int>(Box::PremiumPassword)]);
             EXPECT_FALSE(v.locked[static_cast<int>(Box::ProxyPort)]);
         },
         true, [](const ConfigSettings& s) { EXPECT_FALSE(s.PremiumUse()); }},
        {"remove-finished toggled alone",
         [](RecordingView& v) { v.Click(Check::UploadRemoveCompleteFile); }, false,
         [](const ConfigSettings& s) { EXPECT_TRUE(s.RemoveCompleteFiles()); }},
        {"texts typed",
         [](RecordingView& v) {
             for (int b = 0; b < ConfigTextBoxCount; ++b) {
                 if (static_cast<Box>(b) != Box::ProxyPort) {
                     v.Type(static_cast<Box>(b), "2");
                 }
             }
         },
         true,
         [](const ConfigSettings& s) {
             EXPECT_EQ(s.UploadBinLayerID() + s.UploadDescription() + s.UploadPassword() +
                           s.ProxyHostname() + s.ProxyUsername() + s.ProxyPassword() +
                           s.PremiumUsername() + s.PremiumPassword(),
                       "bin2desc2up2proxy.lan2pu2pp2mu2mp2");
         }},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        for (bool ok : {false, true}) {
            Dialog d;
            row.edit(d.view);
            EXPECT_EQ(d.view.apply, row.applyEnabled);
            ok ? d.logic.cmdOk_Click() : d.logic.cmdApply_Click();
            EXPECT_FALSE(d.view.apply);
            row.stored(d.settings);
        }
    }
}

} // namespace
