#include "gui/frmConfig.h"

#include "ui/WindowTexts.h"

#include <QApplication>
#include <QCheckBox>
#include <QFocusEvent>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

namespace {

// The tab keys of the language file, in tab order.
constexpr const char* TabKeys[] = {"upload", "proxy", "premium"};

QString ToQt(const std::string& text) {
    return QString::fromStdString(text);
}

QLabel* NewLabel(const char* name, QWidget* buddy) {
    auto* label = new QLabel;
    label->setObjectName(QLatin1String(name));
    label->setBuddy(buddy);
    return label;
}

// The character a key press types, as the key filter judges it (8 backspace, 3 copy, 22 paste,
// 24 cut), or -1 for keys that type nothing: moving, deleting, Tab, Enter, Escape and the other
// shortcuts, which the filter lets through.
int32_t TypedCharacter(const QKeyEvent& key) {
    if (key.matches(QKeySequence::Copy)) {
        return 3;
    }
    if (key.matches(QKeySequence::Paste)) {
        return 22;
    }
    if (key.matches(QKeySequence::Cut)) {
        return 24;
    }
    if (key.key() == Qt::Key_Backspace) {
        return 8;
    }
    const QString text = key.text();
    if (text.isEmpty() || !text.at(0).isPrint()) {
        return -1;
    }
    return text.at(0).unicode();
}

} // namespace

frmConfig::frmConfig(ConfigSettings& settings, const std::string& languageFile, QWidget* owner)
    : QDialog(owner), BeepSound([] { QApplication::beep(); }), m_Logic(*this, settings),
      m_LanguageFile(languageFile) {
    setObjectName(QStringLiteral("frmConfig"));
    setModal(true);

    for (int i = 0; i < ConfigTextBoxCount; ++i) {
        const auto box = static_cast<ConfigTextBox>(i);
        auto* edit = new QLineEdit;
        edit->setObjectName(QLatin1String(ControlName(box)));
        edit->setMaxLength(box == ConfigTextBox::ProxyPort ? ConfigDialogLogic::MaxPortLength
                                                           : ConfigDialogLogic::MaxTextLength);
        edit->installEventFilter(this);
        m_Text[static_cast<size_t>(i)] = edit;
    }
    Box(ConfigTextBox::PremiumPassword)->setEchoMode(QLineEdit::Password);
    for (int i = 0; i < ConfigCheckBoxCount; ++i) {
        auto* check = new QCheckBox;
        check->setObjectName(QLatin1String(ControlName(static_cast<ConfigCheckBox>(i))));
        m_Check[static_cast<size_t>(i)] = check;
    }

    auto* picUpload = new QWidget;
    picUpload->setObjectName(QStringLiteral("picUpload"));
    auto* upload = new QFormLayout(picUpload);
    upload->addRow(Check(ConfigCheckBox::UploadRemoveCompleteFile));
    upload->addRow(NewLabel("lblUploadBinLayerID", Box(ConfigTextBox::UploadBinLayerID)),
                   Box(ConfigTextBox::UploadBinLayerID));
    upload->addRow(NewLabel("lblUploadDescription", Box(ConfigTextBox::UploadDescription)),
                   Box(ConfigTextBox::UploadDescription));
    upload->addRow(NewLabel("lblUploadPassword", Box(ConfigTextBox::UploadPassword)),
                   Box(ConfigTextBox::UploadPassword));

    auto* picProxyServer = new QWidget;
    picProxyServer->setObjectName(QStringLiteral("picProxyServer"));
    auto* proxy = new QFormLayout(picProxyServer);
    proxy->addRow(Check(ConfigCheckBox::ProxyUse));
    auto* server = new QHBoxLayout;
    server->addWidget(Box(ConfigTextBox::ProxyHostname), 1);
    QLineEdit* port = Box(ConfigTextBox::ProxyPort);
    port->setFixedWidth(port->fontMetrics().horizontalAdvance(QStringLiteral("0000000")) + 12);
    server->addWidget(port);
    proxy->addRow(NewLabel("lblProxyServer", Box(ConfigTextBox::ProxyHostname)), server);
    proxy->addRow(NewLabel("lblProxyUsername", Box(ConfigTextBox::ProxyUsername)),
                  Box(ConfigTextBox::ProxyUsername));
    proxy->addRow(NewLabel("lblProxyPassword", Box(ConfigTextBox::ProxyPassword)),
                  Box(ConfigTextBox::ProxyPassword));

    auto* picPremium = new QWidget;
    picPremium->setObjectName(QStringLiteral("picPremium"));
    auto* premium = new QFormLayout(picPremium);
    premium->addRow(Check(ConfigCheckBox::PremiumUse));
    premium->addRow(NewLabel("lblPremiumUsername", Box(ConfigTextBox::PremiumUsername)),
                    Box(ConfigTextBox::PremiumUsername));
    premium->addRow(NewLabel("lblPremiumPassword", Box(ConfigTextBox::PremiumPassword)),
                    Box(ConfigTextBox::PremiumPassword));

    tabConfig = new QTabWidget;
    tabConfig->setObjectName(QStringLiteral("tabConfig"));
    tabConfig->addTab(picUpload, QString());
    tabConfig->addTab(picProxyServer, QString());
    tabConfig->addTab(picPremium, QString());

    cmdOk = new QPushButton;
    cmdOk->setObjectName(QStringLiteral("cmdOk"));
    cmdOk->setDefault(true);
    cmdCancel = new QPushButton;
    cmdCancel->setObjectName(QStringLiteral("cmdCancel"));
    cmdApply = new QPushButton;
    cmdApply->setObjectName(QStringLiteral("cmdApply"));
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(cmdOk);
    buttons->addWidget(cmdCancel);
    buttons->addWidget(cmdApply);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(tabConfig);
    layout->addLayout(buttons);

    ApplyLanguage();

    for (int i = 0; i < ConfigTextBoxCount; ++i) {
        const auto box = static_cast<ConfigTextBox>(i);
        connect(Box(box), &QLineEdit::textChanged, this, [this, box] { m_Logic.TextChanged(box); });
    }
    for (int i = 0; i < ConfigCheckBoxCount; ++i) {
        const auto box = static_cast<ConfigCheckBox>(i);
        connect(Check(box), &QCheckBox::clicked, this, [this, box] { m_Logic.CheckBoxClick(box); });
    }
    connect(tabConfig, &QTabWidget::currentChanged, this,
            [this](int index) { m_Logic.tabConfig_Click(index + 1); });
    connect(cmdApply, &QPushButton::clicked, this, [this] { m_Logic.cmdApply_Click(); });
    connect(cmdOk, &QPushButton::clicked, this, [this] {
        m_Logic.cmdOk_Click();
        accept();
    });
    connect(cmdCancel, &QPushButton::clicked, this, &QDialog::reject);

    m_Logic.Load();
}

frmConfig::~frmConfig() {
    // The boxes outlive this part of the dialog; a focus change while they are torn down must
    // not reach the logic.
    for (QLineEdit* edit : m_Text) {
        edit->removeEventFilter(this);
    }
}

void frmConfig::ApplyLanguage() {
    for (const WindowText& entry : ConfigWindowTexts()) {
        const QString text = ToQt(ResolveWindowText(entry, "Config", m_LanguageFile).value_or(""));
        if (entry.target == TextTarget::WindowCaption) {
            setWindowTitle(text);
        } else if (entry.target == TextTarget::Tab) {
            const auto* key = std::find(std::begin(TabKeys), std::end(TabKeys), entry.control);
            tabConfig->setTabText(static_cast<int>(key - std::begin(TabKeys)), text);
        } else if (auto* button = findChild<QAbstractButton*>(ToQt(entry.control))) {
            button->setText(text);
        } else if (auto* label = findChild<QLabel*>(ToQt(entry.control))) {
            label->setText(text);
        }
    }
}

bool frmConfig::eventFilter(QObject* watched, QEvent* event) {
    auto* edit = qobject_cast<QLineEdit*>(watched);
    if (edit == nullptr) {
        return QDialog::eventFilter(watched, event);
    }
    const bool port = edit == Box(ConfigTextBox::ProxyPort);
    switch (event->type()) {
    case QEvent::FocusIn:
        // Again after the event: a click that brought the focus places the cursor after it.
        edit->selectAll();
        QTimer::singleShot(0, edit, &QLineEdit::selectAll);
        break;
    case QEvent::FocusOut: {
        // Only a move to another control of the dialog leaves the box; a context menu or
        // another window taking the focus does not.
        const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
        if (port && reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason) {
            m_Logic.PortLostFocus();
        }
        break;
    }
    case QEvent::KeyPress:
        if (port) {
            const int32_t character = TypedCharacter(*static_cast<QKeyEvent*>(event));
            if (character >= 0 && !m_Logic.PortKeyPress(character)) {
                return true; // dropped
            }
        }
        break;
    default:
        break;
    }
    return QDialog::eventFilter(watched, event);
}

std::string frmConfig::Text(ConfigTextBox box) const {
    return Box(box)->text().toStdString();
}

void frmConfig::SetText(ConfigTextBox box, const std::string& text) {
    QLineEdit* edit = Box(box);
    const QString value = ToQt(text);
    // The limits are for typing: a longer stored value is shown whole, so OK does not cut it.
    const int limit = box == ConfigTextBox::ProxyPort ? ConfigDialogLogic::MaxPortLength
                                                      : ConfigDialogLogic::MaxTextLength;
    edit->setMaxLength(std::max(limit, static_cast<int>(value.size())));
    edit->setText(value);
}

bool frmConfig::Checked(ConfigCheckBox box) const {
    return Check(box)->isChecked();
}

void frmConfig::SetChecked(ConfigCheckBox box, bool checked) {
    Check(box)->setChecked(checked);
}

void frmConfig::SetLocked(ConfigTextBox box, bool locked) {
    QLineEdit* edit = Box(box);
    edit->setReadOnly(locked);
    const QPalette standard = QApplication::palette(edit);
    QPalette palette = edit->palette();
    palette.setColor(QPalette::Base, standard.color(locked ? QPalette::Button : QPalette::Base));
    edit->setPalette(palette);
}

void frmConfig::SetApplyEnabled(bool enabled) {
    cmdApply->setEnabled(enabled);
}

void frmConfig::ShowPanel(int32_t index) {
    tabConfig->setCurrentIndex(index - 1);
}

void frmConfig::Beep() {
    if (BeepSound) {
        BeepSound();
    }
}
