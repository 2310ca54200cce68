// The options dialog as real widgets, offscreen: keys, focus, clicks and texts reach the rules
// (tested in the ui suite), and the buttons store or drop.
#include "support/Support.h"

#include "gui/frmConfig.h"
#include "settings/modConfig.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <gtest/gtest.h>

namespace {

class FrmConfigTest : public ::testing::Test {
protected:
    // Shown and active, so that focus moves as for a user.
    void Open() {
        dialog = std::make_unique<frmConfig>(settings, language, nullptr);
        dialog->BeepSound = [this] { ++beeps; };
        dialog->show();
        dialog->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(dialog.get()));
    }
    template <typename T = QLineEdit> T* Child(const char* name) {
        T* child = dialog->findChild<T*>(QLatin1String(name));
        EXPECT_NE(child, nullptr) << name;
        return child;
    }
    void Click(const char* name) { Child<QAbstractButton>(name)->click(); }
    static void Focus(QLineEdit* edit) {
        edit->setFocus(Qt::TabFocusReason);
        QTest::qWait(0); // the queued whole-text selection
    }
    // Read-only, on the button colour.
    static bool Locked(QLineEdit* edit) {
        return edit->isReadOnly() && edit->palette().color(QPalette::Base) ==
                                         QApplication::palette(edit).color(QPalette::Button);
    }

    QTemporaryDir dir;
    std::string language = testsupport::WriteFile(dir, "Test.ini",
                                                  "[Config]\nWindow.Caption=Optionen\n"
                                                  "Tabstrip.Tab(\"proxy\").Caption=Pro&xy\n"
                                                  "Label(\"proxy_sevrer\").Caption=&Server:\n");
    ConfigSettings settings;
    std::unique_ptr<frmConfig> dialog;
    int beeps = 0;
};

TEST_F(FrmConfigTest, WidgetsForwardToTheRulesAndTheButtonsStoreOrDrop) {
    settings.SetProxyUse(true);
    settings.SetProxyPort(0); // turns the proxy off on loading
    settings.SetProxyHostname("proxy.lan");
    settings.SetPremiumUse(true);
    settings.SetUploadDescription(std::string(80, 'd')); // longer than typing allows
    Open();
    auto* port = Child("txtProxyPort");
    auto* host = Child("txtProxyHostname");
    auto* apply = Child<QPushButton>("cmdApply");
    auto* tabs = Child<QTabWidget>("tabConfig");

    // Texts of the file, empty where it has none; "&" marks the access key.
    const QStringList texts{dialog->windowTitle(), tabs->tabText(1), tabs->tabText(0),
                            Child<QLabel>("lblProxyPassword")->text(),
                            Child<QPushButton>("cmdOk")->text()};
    EXPECT_EQ(texts.join('|').toStdString(), "Optionen|Pro&xy|||");
    EXPECT_EQ(Child<QLabel>("lblProxyServer")->buddy(), host);
    EXPECT_TRUE(port->text() == "8080" && Locked(port) && !apply->isEnabled() &&
                tabs->currentIndex() == 0);

    // A locked box takes the focus and its text is selected whole, but it cannot be changed.
    Focus(host);
    EXPECT_EQ(host->selectedText(), "proxy.lan");
    QTest::keyClicks(host, "x");
    EXPECT_EQ(host->text(), "proxy.lan");
    Click("chkProxyUse");
    EXPECT_TRUE(!Locked(port) && apply->isEnabled());

    // Key filter, change rule, leave rule: each correction with a beep.
    Focus(port);
    const auto type = [&](const char* keys) {
        QTest::keyClicks(port, keys);
        return (port->text() + " " + QString::number(beeps)).toStdString();
    };
    EXPECT_EQ(type("a7"), "7 1");
    EXPECT_EQ(type("0000"), "7000 2");
    EXPECT_EQ(type("\b\b\b\b"), " 2");
    Focus(host);
    EXPECT_EQ(type(""), "8080 3");

    // Proxy off again: texts kept; Apply stores them with the proxy off.
    Click("chkProxyUse");
    Click("cmdApply");
    EXPECT_TRUE(Locked(host) && !apply->isEnabled());
    EXPECT_EQ(std::to_string(settings.ProxyUse()) + " " + settings.ProxyHostname() + " " +
                  std::to_string(settings.ProxyPort()),
              "0 proxy.lan 8080");

    // A later edit is dropped by Cancel and stored by OK.
    QTest::keyClicks(Child("txtPremiumUsername"), "me");
    Click("cmdCancel");
    EXPECT_TRUE(dialog->result() == QDialog::Rejected && !dialog->isVisible());
    EXPECT_EQ(settings.PremiumUsername(), "");
    Open();
    QTest::keyClicks(Child("txtPremiumUsername"), "me");
    Click("cmdOk");
    EXPECT_EQ(dialog->result(), QDialog::Accepted);
    EXPECT_EQ(settings.PremiumUsername() + " " + settings.UploadDescription(),
              "me " + std::string(80, 'd'));
}

} // namespace
