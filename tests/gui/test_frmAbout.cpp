// The about dialog as real widgets, offscreen: captions of the language file, values, the links'
// targets and the back link.
#include "support/Support.h"

#include "gui/frmAbout.h"
#include "settings/modConfig.h"

#include <QLabel>
#include <QTest>
#include <QUrl>
#include <gtest/gtest.h>

TEST(FrmAboutTest, ShowsCaptionsValuesAndLinks) {
    ConfigSettings settings;
    settings.SetStatisticCount(1234);
    settings.SetStatisticSize(5368709120);
    frmAbout dialog(settings, VOSTRAND_SOURCE_DIR "/language/Deutsch.ini", NumberFormat{".", ","},
                    "http://h:1/", nullptr);
    QStringList opened;
    dialog.ShellOpen = [&opened](const QUrl& url) { return (opened << url.toString(), true); };
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    QStringList texts;
    const QStringList names =
        QString("lblUploadCount_Caption lblClose lblVersion lblUploadCount "
                "lblUploadSize lblUrl lblEMail lblImpressum picBanner lblClose")
            .split(' ');
    for (int i = 0; i < 10; ++i) { // the texts, then a click on each link and back
        auto* label = dialog.findChild<QLabel*>(names[i]);
        ASSERT_NE(label, nullptr) << names[i].toStdString();
        if (i < 6)
            texts << label->text();
        if (i >= 5)
            QTest::mouseClick(label, Qt::LeftButton);
    }
    EXPECT_EQ(texts.join('|').toStdString(),
              "Hochgeladene Dateien:|Zurück|1.00.0009|1.234|5.120,00 MB|http://h:1/");
    EXPECT_EQ(opened.join(' ').toStdString(),
              "http://h:1/ mailto:" + dialog.findChild<QLabel*>("lblEMail")->text().toStdString() +
                  " http://h:1/imprint.php http://h:1/");
    EXPECT_FALSE(dialog.isVisible());
}
