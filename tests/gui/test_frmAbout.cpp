// The about dialog as real widgets, offscreen: captions from the language file, values, the
// links' targets, pointer and hover underline, and the back link.
#include "TempDir.h"

#include "gui/frmAbout.h"
#include "settings/modConfig.h"

#include <QIcon>
#include <QLabel>
#include <QPixmap>
#include <QTest>
#include <QUrl>
#include <gtest/gtest.h>

namespace {

std::string Text(const frmAbout& dialog, const char* label) {
    const auto* child = dialog.findChild<QLabel*>(QLatin1String(label));
    EXPECT_NE(child, nullptr) << label;
    return child ? child->text().toStdString() : std::string();
}

QLabel* Label(const frmAbout& dialog, const char* name) {
    return dialog.findChild<QLabel*>(QLatin1String(name));
}

TEST(FrmAboutTest, ShowsCaptionsValuesAndLinks) {
    testsupport::TempDir dir;
    const struct {
        std::string languageFile;
        std::string filesCaption, back;
    } rows[] = {
        {VOSTRAND_SOURCE_DIR "/language/Deutsch.ini", "Hochgeladene Dateien:", "Zurück"},
        {dir.WriteFile("Ohne.ini", "[Main]\nWindow.Caption=X\n"), "", ""}, // no "About"
    };
    QPixmap icon(16, 16); // the program icon stands where the banner stood
    icon.fill(Qt::red);
    QApplication::setWindowIcon(QIcon(icon));
    ConfigSettings settings;
    settings.SetStatisticCount(1234);
    settings.SetStatisticSize(5368709120);
    for (const auto& row : rows) {
        SCOPED_TRACE(row.languageFile);
        frmAbout dialog(settings, row.languageFile, NumberFormat{".", ","}, "http://h:1/", nullptr);
        std::vector<std::string> opened;
        dialog.ShellOpen = [&opened](const QUrl& url) {
            opened.push_back(url.toString().toStdString());
            return true;
        };
        dialog.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));

        EXPECT_EQ(Text(dialog, "lblUploadCount_Caption"), row.filesCaption);
        EXPECT_EQ(Text(dialog, "lblClose"), row.back);
        EXPECT_EQ(Text(dialog, "lblVersion"), "1.00.0009");
        EXPECT_EQ(Text(dialog, "lblUploadCount"), "1.234");
        EXPECT_EQ(Text(dialog, "lblUploadSize"), "5.120,00 MB");
        EXPECT_EQ(Text(dialog, "lblUrl"), "http://h:1/");
        EXPECT_EQ(Label(dialog, "picBanner")->pixmap().toImage().pixelColor(4, 4), Qt::red);

        for (const char* link : {"lblUrl", "lblEMail", "lblImpressum", "picBanner"}) {
            EXPECT_EQ(Label(dialog, link)->cursor().shape(), Qt::PointingHandCursor) << link;
            QTest::mouseClick(Label(dialog, link), Qt::LeftButton);
        }
        EXPECT_EQ(opened,
                  (std::vector<std::string>{"http://h:1/", "mailto:" + Text(dialog, "lblEMail"),
                                            "http://h:1/imprint.php", "http://h:1/"}));

        // The underline follows the pointer from link to link.
        const char* links[] = {"lblUrl", "lblEMail", "lblImpressum"};
        for (const char* under : links) {
            QTest::mouseMove(Label(dialog, under));
            for (const char* link : links) {
                EXPECT_EQ(Label(dialog, link)->font().underline(), link == under)
                    << under << " / " << link;
            }
        }
        QTest::mouseMove(&dialog, QPoint(1, 1));
        EXPECT_FALSE(Label(dialog, "lblImpressum")->font().underline());

        QTest::mouseClick(Label(dialog, "lblClose"), Qt::LeftButton);
        EXPECT_FALSE(dialog.isVisible());
    }
    QApplication::setWindowIcon(QIcon());
}

} // namespace
