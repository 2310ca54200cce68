// The options dialog as real widgets, offscreen: the wiring of keys, focus, clicks and texts to
// the rules (the rules themselves are tested in the ui suite).
#include "Support.h"

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
    // Shown and active, so that focus moves as for a user; opened with the proxy on port 0.
    void Open() {
        settings.SetProxyUse(true);
        settings.SetProxyPort(0);
        settings.SetProxyHostname("proxy.lan");
        settings.SetProxyUsername("pu");
        settings.SetPremiumUse(true);
        settings.SetPremiumPassword("secret");
        dialog = std::make_unique<frmConfig>(
            settings,
            testsupport::WriteFile(dir, "Test.ini",
                                   "[Config]\nWindow.Caption=Optionen\n"
                                   "Tabstrip.Tab(\"proxy\").Caption=Pro&xy\n"
                                   "Label(\"proxy_sevrer\").Caption=&Server:\n"),
            nullptr);
        dialog->BeepSound = [this] { ++beeps; };
        dialog->show();
        dialog->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(dialog.get()));
    }
    template <typename T> T* Child(const char* name) {
        T* child = dialog->findChild<T*>(QLatin1String(name));
        EXPECT_NE(child, nullptr) << name;
        return child;
    }
    static void Focus(QLineEdit* edit) {
        edit->setFocus(Qt::TabFocusReason);
        QTest::qWait(0); // the queued whole-text selection
    }
    // The box's background: the button colour while locked.
    static bool Grey(QLineEdit* edit) {
        return edit->palette().color(QPalette::Base) ==
               QApplication::palette(edit).color(QPalette::Button);
    }

    QTemporaryDir dir;
    ConfigSettings settings;
    std::unique_ptr<frmConfig> dialog;
    int beeps = 0;
};

TEST_F(FrmConfigTest, WidgetsForwardToTheRules) {
    Open();
    auto* port = Child<QLineEdit>("txtProxyPort");
    auto* host = Child<QLineEdit>("txtProxyHostname");
    auto* apply = Child<QPushButton>("cmdApply");
    auto* tabs = Child<QTabWidget>("tabConfig");

    // Texts of the file, empty where it has none; "&" marks the access key.
    EXPECT_EQ((QStringList{dialog->windowTitle(), tabs->tabText(1), tabs->tabText(0),
                           Child<QLabel>("lblProxyPassword")->text(),
                           Child<QPushButton>("cmdOk")->text()})
                  .join('|')
                  .toStdString(),
              "Optionen|Pro&xy|||");
    EXPECT_EQ(Child<QLabel>("lblProxyServer")->buddy(), host);

    // Port 0: proxy off and locked, 8080, Apply off, first tab.
    EXPECT_FALSE(Child<QCheckBox>("chkProxyUse")->isChecked());
    EXPECT_EQ(port->text(), "8080");
    EXPECT_TRUE(port->isReadOnly() && Grey(port));
    EXPECT_FALSE(apply->isEnabled());
    EXPECT_EQ(tabs->currentIndex(), 0);

    // A locked box takes the focus and its text is selected whole, but it cannot be changed.
    Focus(host);
    EXPECT_EQ(host->selectedText(), "proxy.lan");
    QTest::keyClicks(host, "x");
    EXPECT_EQ(host->text(), "proxy.lan");

    Child<QCheckBox>("chkProxyUse")->click();
    EXPECT_FALSE(port->isReadOnly() || Grey(port));
    EXPECT_TRUE(apply->isEnabled());

    // Key filter, change rule, leave rule: each correction with a beep.
    Focus(port);
    EXPECT_EQ(port->selectedText(), "8080");
    QTest::keyClicks(port, "a");
    EXPECT_EQ(port->text() + QString::number(beeps), "80801");
    QTest::keyClicks(port, "7");
    EXPECT_EQ(port->text(), "7");
    QTest::keyClicks(port, "0000");
    EXPECT_EQ(port->text() + QString::number(beeps), "70002");
    QTest::keyClicks(port, "\b\b\b\b");
    EXPECT_EQ(port->text(), "");
    Focus(host);
    EXPECT_EQ(port->text() + QString::number(beeps), "80803");

    // Proxy off again: texts kept; Apply stores them with the proxy off.
    Child<QCheckBox>("chkProxyUse")->click();
    EXPECT_TRUE(host->isReadOnly() && Grey(host));
    QTest::mouseClick(apply, Qt::LeftButton);
    EXPECT_FALSE(apply->isEnabled());
    EXPECT_EQ(std::to_string(settings.ProxyUse()) + " " + settings.ProxyHostname() + " " +
                  settings.ProxyUsername() + " " + std::to_string(settings.ProxyPort()),
              "0 proxy.lan pu 8080");

    // A later edit, then Cancel: what Apply stored stays, the edit is dropped.
    QTest::keyClicks(Child<QLineEdit>("txtPremiumUsername"), "me");
    EXPECT_TRUE(apply->isEnabled());
    QTest::mouseClick(Child<QPushButton>("cmdCancel"), Qt::LeftButton);
    EXPECT_EQ(dialog->result(), QDialog::Rejected);
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(settings.PremiumUsername(), "");
    EXPECT_EQ(settings.ProxyHostname(), "proxy.lan");
}

TEST_F(FrmConfigTest, RemoveFinishedAloneLeavesApplyOffAndOkStoresIt) {
    // The 64-character limit is for typing; a longer stored text survives OK whole.
    settings.SetUploadDescription(std::string(80, 'd'));
    Open();
    Child<QCheckBox>("chkUploadRemoveCompleteFile")->click();
    EXPECT_FALSE(Child<QPushButton>("cmdApply")->isEnabled());
    QTest::mouseClick(Child<QPushButton>("cmdOk"), Qt::LeftButton);
    EXPECT_EQ(dialog->result(), QDialog::Accepted);
    EXPECT_TRUE(settings.RemoveCompleteFiles());
    EXPECT_EQ(settings.PremiumPassword(), "secret");
    EXPECT_EQ(settings.UploadDescription(), std::string(80, 'd'));
    EXPECT_EQ(beeps, 0);
}

} // namespace
