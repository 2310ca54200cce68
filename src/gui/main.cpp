// vostrand-uploader: the desktop window. One instance per user; a second start hands the files
// on its command line to the first and ends.
#include "SingleInstance.h"
#include "frmMain.h"

#include "platform/Format.h"
#include "settings/modConfig.h"
#include "settings/modLanguage.h"
#include "upload/modUpload.h"

#include <QApplication>
#include <QFileInfo>

#include <clocale>
#include <cstdlib>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    // The separators come from the user's locale through NumberFormat; everything else (number
    // parsing in the HTTP client and the INI store) keeps the C rules Qt just replaced.
    const NumberFormat format = NumberFormat::FromLocale();
    std::setlocale(LC_NUMERIC, "C");
    QApplication::setApplicationName(QStringLiteral("vostrand-uploader"));
    QApplication::setApplicationDisplayName(QStringLiteral("Vostrand-Uploader"));
    QApplication::setDesktopFileName(QStringLiteral("vostrand-uploader"));

    QStringList files;
    for (const QString& argument : QApplication::arguments().mid(1)) {
        files << QFileInfo(argument).absoluteFilePath();
    }

    SingleInstance instance;
    if (!instance.Acquire()) {
        // The running window takes the files; nothing else of this start is shown or loaded.
        return files.isEmpty() || instance.HandOver(files) ? 0 : 1;
    }

    const std::string programFolder = QCoreApplication::applicationDirPath().toStdString();
    const std::string configFile = modConfig::ConfigFilePath(programFolder);
    frmMainSetup setup{
        modConfig::Settings(),
        modLanguage::Texts(),
        configFile,
        modLanguage::LanguageFolder(programFolder),
        modUpload::ResolveBaseUrl(std::getenv(modUpload::BaseUrlEnvironment), configFile),
        format,
        nullptr};
    frmMain window(setup);
    // Handed files join the list; the window itself is left as it is.
    QObject::connect(&instance, &SingleInstance::FilesReceived, &window,
                     [&window](const QStringList& handed) { window.AddFilesLater(handed); });
    window.show();
    if (!files.isEmpty()) {
        window.AddFilesLater(files);
    }
    return app.exec();
}
