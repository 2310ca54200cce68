#include "gui/frmAbout.h"

#include "gui/clsTrackMouse.h"
#include "ui/WindowTexts.h"

#include <QApplication>
#include <QDesktopServices>
#include <QGridLayout>
#include <QIcon>
#include <QLabel>
#include <QMouseEvent>
#include <QUrl>
#include <QVBoxLayout>

namespace {

QString ToQt(const std::string& text) {
    return QString::fromStdString(text);
}

QLabel* NewLabel(const char* name, const std::string& text = {}) {
    auto* label = new QLabel(ToQt(text));
    label->setObjectName(QLatin1String(name));
    label->setTextFormat(Qt::PlainText); // texts from files are never markup
    return label;
}

} // namespace

frmAbout::frmAbout(const ConfigSettings& settings, const std::string& languageFile,
                   const NumberFormat& format, const std::string& baseUrl, QWidget* owner)
    : QDialog(owner), ShellOpen([](const QUrl& url) { return QDesktopServices::openUrl(url); }),
      m_LanguageFile(languageFile), m_Values(MakeAboutValues(settings, format, baseUrl)) {
    setObjectName(QStringLiteral("frmAbout"));
    setModal(true);
    setWindowTitle(ToQt(m_Values.AppTitle));

    picBanner = NewLabel("picBanner");
    picBanner->setAlignment(Qt::AlignCenter);
    const QIcon icon = QApplication::windowIcon().isNull()
                           ? QIcon::fromTheme(QStringLiteral("help-about"))
                           : QApplication::windowIcon();
    picBanner->setPixmap(icon.pixmap(64, 64));
    if (owner != nullptr) {
        picBanner->setToolTip(owner->window()->windowTitle());
    }

    lblUrl = NewLabel("lblUrl", m_Values.Url);
    lblEMail = NewLabel("lblEMail", m_Values.EMail);
    lblImpressum = NewLabel("lblImpressum", m_Values.Impressum);
    lblClose = NewLabel("lblClose");
    const struct {
        const char* caption;
        QLabel* value;
    } rows[] = {
        {"lblAppTitle_Caption", NewLabel("lblAppTitle", m_Values.AppTitle)},
        {"lblVersion_Caption", NewLabel("lblVersion", m_Values.Version)},
        {"lblCompany_Caption", NewLabel("lblCompany", m_Values.Company)},
        {"lblComments_Caption", NewLabel("lblComments", m_Values.Comments)},
        {"lblUrl_Caption", lblUrl},
        {"lblEMail_Caption", lblEMail},
        {"lblUploadCount_Caption", NewLabel("lblUploadCount", m_Values.UploadCount)},
        {"lblUploadSize_Caption", NewLabel("lblUploadSize", m_Values.UploadSize)},
    };
    auto* table = new QGridLayout;
    table->setColumnStretch(1, 1);
    for (int i = 0; i < static_cast<int>(std::size(rows)); ++i) {
        table->addWidget(NewLabel(rows[i].caption), i, 0, Qt::AlignLeft | Qt::AlignTop);
        table->addWidget(rows[i].value, i, 1, Qt::AlignLeft | Qt::AlignTop);
    }
    QLabel* lblCopyright = NewLabel("lblCopyright", m_Values.Copyright);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(picBanner);
    layout->addLayout(table);
    layout->addWidget(lblImpressum, 0, Qt::AlignHCenter);
    layout->addWidget(lblCopyright, 0, Qt::AlignHCenter);
    layout->addWidget(lblClose, 0, Qt::AlignRight);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    ApplyLanguage();

    // The four links: link colour, hand pointer, underlined while the pointer is over them.
    QLabel* const links[] = {lblUrl, lblEMail, lblImpressum, lblClose};
    for (size_t i = 0; i < m_Trackers.size(); ++i) {
        QLabel* link = links[i];
        link->setForegroundRole(QPalette::Link);
        link->setCursor(Qt::PointingHandCursor);
        link->installEventFilter(this);
        auto underline = [link](bool on) {
            QFont font = link->font();
            font.setUnderline(on);
            link->setFont(font);
        };
        m_Trackers[i] = new clsTrackMouse(this);
        m_Trackers[i]->MouseOver = [underline] { underline(true); };
        m_Trackers[i]->MouseOut = [underline] { underline(false); };
        m_Trackers[i]->SetTrackObject(link);
    }
    picBanner->setCursor(Qt::PointingHandCursor);
    picBanner->installEventFilter(this);
}

frmAbout::~frmAbout() {
    for (clsTrackMouse* tracker : m_Trackers) {
        tracker->SetTrackObject(nullptr);
    }
    for (QLabel* clickable : {picBanner, lblUrl, lblEMail, lblImpressum, lblClose}) {
        clickable->removeEventFilter(this);
    }
}

void frmAbout::ApplyLanguage() {
    for (const WindowText& entry : AboutWindowTexts()) {
        if (auto* label = findChild<QLabel*>(ToQt(entry.control))) {
            label->setText(ToQt(ResolveWindowText(entry, "About", m_LanguageFile).value_or("")));
        }
    }
}

bool frmAbout::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonRelease) {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        const auto* widget = static_cast<QWidget*>(watched);
        if (mouse->button() == Qt::LeftButton &&
            widget->rect().contains(mouse->position().toPoint())) {
            if (watched == lblUrl || watched == picBanner) {
                Open(m_Values.UrlTarget);
            } else if (watched == lblEMail) {
                Open(m_Values.EMailTarget);
            } else if (watched == lblImpressum) {
                Open(m_Values.ImpressumTarget);
            } else if (watched == lblClose) {
                reject();
            }
        }
    }
    return QDialog::eventFilter(watched, event);
}

void frmAbout::Open(const std::string& address) {
    if (ShellOpen) {
        ShellOpen(QUrl(ToQt(address), QUrl::TolerantMode));
    }
}
