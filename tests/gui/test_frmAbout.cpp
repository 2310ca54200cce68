// The about dialog as real widgets, offscreen: captions from the language file, values, the
// links' targets and the back link.
#include "Support.h"

#include "gui/frmAbout.h"
#include "settings/modConfig.h"

#include <QLabel>
#include <QTest>
#include <QUrl>
#include <gtest/gtest.h>

namespace {

TEST(FrmAboutTest, ShowsCaptionsValuesAndLinks) {
    QTemporaryDir dir;
    const struct {
        std::string languageFile, captions;
    } rows[] = {
        {VOSTRAND_SOURCE_DIR "/language/Deutsch.ini", "Hochgeladene Dateien:|Zurück"},
        {testsupport::WriteFile(dir, "Ohne.ini", "[Main]\nWindow.Caption=X\n"), "|"}, // no "About"
    };
    ConfigSettings settings;
    settings.SetStatisticCount(1234);
    settings.SetStatisticSize(5368709120);
    for (const auto& row : rows) {
        SCOPED_TRACE(row.languageFile);
        frmAbout dialog(settings, row.languageFile, NumberFormat{".", ","}, "http://h:1/", nullptr);
        QStringList opened;
        dialog.ShellOpen = [&opened](const QUrl& url) {
            opened << url.toString();
            return true;
        };
        dialog.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
        const auto label = [&](const char* name) {
            auto* child = dialog.findChild<QLabel*>(QLatin1String(name));
            EXPECT_NE(child, nullptr) << name;
            return child;
        };
        QStringList texts;
        for (const char* name : {"lblUploadCount_Caption", "lblClose", "lblVersion",
                                 "lblUploadCount", "lblUploadSize", "lblUrl"})
            texts << label(name)->text();
        EXPECT_EQ(texts.join('|').toStdString(),
                  row.captions + "|1.00.0009|1.234|5.120,00 MB|http://h:1/");

        for (const char* link : {"lblUrl", "lblEMail", "lblImpressum", "picBanner"})
            QTest::mouseClick(label(link), Qt::LeftButton);
        EXPECT_EQ(opened.join(' '), "http://h:1/ mailto:" + label("lblEMail")->text() +
                                        " http://h:1/imprint.php http://h:1/");
        QTest::mouseClick(label("lblClose"), Qt::LeftButton);
        EXPECT_FALSE(dialog.isVisible());
    }
}

} // namespace
