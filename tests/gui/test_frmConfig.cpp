// The options dialog as real widgets, offscreen: the wiring of keys, focus, clicks and texts to
// the rules (the rules themselves are tested in the ui suite).
#include "TempDir.h"

#include "gui/frmConfig.h"
#include "settings/modConfig.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <gtest/gtest.h>

namespace {

class FrmConfigTest : public ::testing::Test {
protected:
    FrmConfigTest() {
            language = dir.WriteFile("Test.ini", "[Config]\n"
                                             "Window.Caption=Optionen\n"
                                             "Tabstrip.Tab(\"proxy\").Caption=Pro&xy\n"
                                             "Label(\"proxy_sevrer\").Caption=&Server:\n"
                                             "Button(\"apply\").Caption=&Apply\n");
        settings.SetProxyUse(true);
        settings.SetProxyPort(0);
        settings.SetProxyHostname("proxy.lan");
        settings.SetProxyUsername("pu");
        settings.SetPremiumUse(true);
        settings.SetPremiumPassword("secret");
    }

    // Opens a dialog, shown and active so that focus moves as for a user.
    std::unique_ptr<frmConfig> Open() {
        auto dialog = std::make_unique<frmConfig>(settings, language, nullptr);
        dialog->BeepSound = [this] { ++beeps; };
        dialog->show();
        dialog->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(dialog.get()));
        return dialog;
    }
    template <typename T> static T* Child(const frmConfig& dialog, const char* name) {
        T* child = dialog.findChild<T*>(QLatin1String(name));
        EXPECT_NE(child, nullptr) << name;
        return child;
    }
    // A click on the box itself (a check box without caption is only its box).
    static void Click(QCheckBox* check) {
        QStyleOptionButton option;
        option.initFrom(check);
        const QRect box =
            check->style()->subElementRect(QStyle::SE_CheckBoxIndicator, &option, check);
        QTest::mouseClick(check, Qt::LeftButton, {}, box.center());
    }
    static void Focus(QLineEdit* edit) {
        edit->setFocus(Qt::TabFocusReason);
        QTest::qWait(0); // the queued whole-text selection
    }

    testsupport::TempDir dir;
    std::string language;
    ConfigSettings settings;
    int beeps = 0;
};

TEST_F(FrmConfigTest, WidgetsForwardToTheRules) {
    auto dialog = Open();
    auto* port = Child<QLineEdit>(*dialog, "txtProxyPort");
    auto* host = Child<QLineEdit>(*dialog, "txtProxyHostname");
    auto* proxyUse = Child<QCheckBox>(*dialog, "chkProxyUse");
    auto* apply = Child<QPushButton>(*dialog, "cmdApply");
    auto* tabs = Child<QTabWidget>(*dialog, "tabConfig");

    // Texts of the file, empty where it has none; "&" marks the access key.
    EXPECT_EQ(dialog->windowTitle(), "Optionen");
    EXPECT_EQ(tabs->tabText(1), "Pro&xy");
    EXPECT_EQ(tabs->tabText(0), "");
    EXPECT_EQ(Child<QLabel>(*dialog, "lblProxyServer")->buddy(), host);
    EXPECT_EQ(Child<QLabel>(*dialog, "lblProxyPassword")->text(), "");
    EXPECT_EQ(Child<QPushButton>(*dialog, "cmdOk")->text(), "");
    EXPECT_EQ(host->maxLength(), 64);
    EXPECT_EQ(port->maxLength(), 5);
    EXPECT_EQ(Child<QLineEdit>(*dialog, "txtPremiumPassword")->echoMode(), QLineEdit::Password);
    EXPECT_EQ(Child<QLineEdit>(*dialog, "txtProxyPassword")->echoMode(), QLineEdit::Normal);

    // Opened with port 0: proxy off and locked, 8080, Apply off, first tab.
    EXPECT_FALSE(proxyUse->isChecked());
    EXPECT_EQ(port->text(), "8080");
    EXPECT_TRUE(port->isReadOnly());
    EXPECT_EQ(port->palette().color(QPalette::Base),
              QApplication::palette(port).color(QPalette::Button));
    EXPECT_FALSE(apply->isEnabled());
    EXPECT_EQ(tabs->currentIndex(), 0);
    QTest::mouseClick(tabs->tabBar(), Qt::LeftButton, {}, tabs->tabBar()->tabRect(1).center());
    EXPECT_TRUE(Child<QWidget>(*dialog, "picProxyServer")->isVisible());

    // A locked box takes the focus and its text is selected whole, but it cannot be changed.
    Focus(host);
    EXPECT_EQ(host->selectedText(), "proxy.lan");
    QTest::keyClicks(host, "x");
    EXPECT_EQ(host->text(), "proxy.lan");

    Click(proxyUse);
    EXPECT_TRUE(proxyUse->isChecked());
    EXPECT_FALSE(port->isReadOnly());
    EXPECT_EQ(port->palette().color(QPalette::Base),
              QApplication::palette(port).color(QPalette::Base));
    EXPECT_TRUE(apply->isEnabled());

    // Key filter, change rule, leave rule, each correction with a beep.
    Focus(port);
    EXPECT_EQ(port->selectedText(), "8080");
    QTest::keyClick(port, Qt::Key_A);
    EXPECT_EQ(port->text(), "8080");
    EXPECT_EQ(beeps, 1);
    QTest::keyClicks(port, "7");
    EXPECT_EQ(port->text(), "7");
    QTest::keyClicks(port, "0000");
    EXPECT_EQ(port->text(), "7000");
    EXPECT_EQ(beeps, 2);
    for (int i = 0; i < 4; ++i) {
        QTest::keyClick(port, Qt::Key_Backspace);
    }
    EXPECT_EQ(port->text(), "");
    Focus(host);
    EXPECT_EQ(port->text(), "8080");
    EXPECT_EQ(beeps, 3);

    // Proxy off again: texts kept; Apply stores them with the proxy off.
    Click(proxyUse);
    EXPECT_TRUE(host->isReadOnly());
    QTest::mouseClick(apply, Qt::LeftButton);
    EXPECT_FALSE(apply->isEnabled());
    EXPECT_FALSE(settings.ProxyUse());
    EXPECT_EQ(settings.ProxyHostname(), "proxy.lan");
    EXPECT_EQ(settings.ProxyUsername(), "pu");
    EXPECT_EQ(settings.ProxyPort(), 8080);

    // A later edit, then Cancel: what Apply stored stays, the edit is dropped.
    QTest::keyClicks(Child<QLineEdit>(*dialog, "txtPremiumUsername"), "me");
    EXPECT_TRUE(apply->isEnabled());
    QTest::mouseClick(Child<QPushButton>(*dialog, "cmdCancel"), Qt::LeftButton);
    EXPECT_EQ(dialog->result(), QDialog::Rejected);
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(settings.PremiumUsername(), "");
    EXPECT_EQ(settings.ProxyHostname(), "proxy.lan");
}

TEST_F(FrmConfigTest, RemoveFinishedAloneLeavesApplyOffAndOkStoresIt) {
    // The 64-character limit is for typing; a longer stored text survives OK whole.
    const std::string longText(80, 'd');
    settings.SetUploadDescription(longText);
    auto dialog = Open();
    Click(Child<QCheckBox>(*dialog, "chkUploadRemoveCompleteFile"));
    EXPECT_FALSE(Child<QPushButton>(*dialog, "cmdApply")->isEnabled());
    QTest::mouseClick(Child<QPushButton>(*dialog, "cmdOk"), Qt::LeftButton);
    EXPECT_EQ(dialog->result(), QDialog::Accepted);
    EXPECT_TRUE(settings.RemoveCompleteFiles());
    EXPECT_EQ(settings.PremiumPassword(), "secret");
    EXPECT_EQ(settings.UploadDescription(), longText);
    EXPECT_EQ(beeps, 0);
}

} // namespace
