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
#include <QMessageBox>

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
    QApplication::setWindowIcon(frmMain::ProgramIcon());

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
    // Hidden hooks for scripts/screenshot and the benchmarks: a config.ini of their own, and a
    // run started with this log as soon as the files are in the list.
    const char* configOverride = std::getenv("VOSTRAND_CONFIG_FILE");
    const std::string configFile = configOverride != nullptr && *configOverride != '\0'
                                       ? std::string(configOverride)
                                       : modConfig::ConfigFilePath(programFolder);
    // A private service's authority, trusted besides the system's; an unusable file is said
    // once and the system's list alone is used.
    QList<QSslCertificate> authorities;
    const std::string caFile = modConfig::ReadIniValue(configFile, "Service", "ca_file", "");
    std::string caError;
    if (!caFile.empty() && !ReadCaFile(caFile, authorities, caError)) {
        QMessageBox::warning(nullptr, QString::fromUtf8(UploadQueue::ProgramTitle),
                             QString::fromStdString(caError));
    }
    frmMainSetup setup{
        modConfig::Settings(),
        modLanguage::Texts(),
        configFile,
        modLanguage::LanguageFolder(programFolder),
        modUpload::ResolveBaseUrl(std::getenv(modUpload::BaseUrlEnvironment), configFile),
        format,
        nullptr,
        QtSocketFactory(authorities)};
    frmMain window(setup);
    // Handed files join the list; the window itself is left as it is.
    QObject::connect(&instance, &SingleInstance::FilesReceived, &window,
                     [&window](const QStringList& handed) { window.AddFilesLater(handed); });
    if (const char* log = std::getenv("VOSTRAND_AUTOSTART_LOG"); log != nullptr && *log != '\0') {
        const std::string logPath = log;
        window.Queue().InfoComplete = [&window, logPath](bool success) {
            if (success) {
                // After the files handed in, which are posted the same way.
                window.Post([&window, logPath] { window.Queue().StartRun(logPath); });
            }
        };
    }
    window.show();
    if (!files.isEmpty()) {
        window.AddFilesLater(files);
    }
    return app.exec();
}
