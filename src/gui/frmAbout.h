#pragma once
// frmAbout: the about dialog. Modal, owned by the main window; create one for each opening, so
// the statistics are current. It shows the program's data, the upload statistics and the
// service's links (home page, support mail, imprint), which open in the user's browser or mail
// program; the links are underlined while the pointer is over them. "Back" closes it.
#include "platform/Format.h"
#include "ui/AboutValues.h"

#include <QDialog>

#include <array>
#include <functional>
#include <string>

class ConfigSettings;
class QLabel;
class QUrl;
class clsTrackMouse;

class frmAbout : public QDialog {
    Q_OBJECT
public:
    frmAbout(const ConfigSettings& settings, const std::string& languageFile,
             const NumberFormat& format, const std::string& baseUrl, QWidget* owner);
    ~frmAbout() override;

    // Section "About" of the language file onto the caption labels and the back link; an empty
    // or missing text empties the label.
    void ApplyLanguage();

    // Opens an address (QDesktopServices::openUrl); tests record it.
    std::function<bool(const QUrl&)> ShellOpen;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Open(const std::string& address);

    std::string m_LanguageFile;
    AboutValues m_Values;
    QLabel* picBanner = nullptr;
    QLabel* lblUrl = nullptr;
    QLabel* lblEMail = nullptr;
    QLabel* lblImpressum = nullptr;
    QLabel* lblClose = nullptr;
    // objUrl, objEMail, objImpressum, objClose
    std::array<clsTrackMouse*, 4> m_Trackers{};
};
