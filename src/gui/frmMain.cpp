#include "frmMain.h"

#include "DesktopNotifier.h"
#include "UploadListModel.h"
#include "UploadListView.h"
#include "frmAbout.h"
#include "frmConfig.h"

#include "platform/qt/QtSocket.h"
#include "settings/LanguageChoice.h"
#include "settings/LanguageKeys.h"
#include "settings/modConfig.h"
#include "ui/WindowTexts.h"
#include "upload/clsInfo.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QFileIconProvider>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMimeDatabase>
#include <QProgressBar>
#include <QStatusBar>
#include <QSystemTrayIcon>
#include <QToolBar>
#include <QUrl>

#include <algorithm>

// The icons live in the window's static library, which the linker would otherwise leave out.
static void InitResources() {
    Q_INIT_RESOURCE(gui);
}

namespace {

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

QString BuiltInCaption(const char* name) {
    for (const modLanguage::MenuText& menu : modLanguage::MainMenus()) {
        if (std::string(menu.name) == name) {
            return QString::fromUtf8(menu.builtInCaption);
        }
    }
    return {};
}

// The toolbar's buttons in order, in groups parted by separators. Each icon comes from the
// desktop's theme when it has one, else from our own resource.
struct ToolbarButton {
    Command command;
    const char* themeIcon;
    bool separatorBefore;
};
constexpr ToolbarButton ToolbarButtons[] = {
    {Command::EditAdd, "list-add", false},           {Command::EditRemove, "list-remove", false},
    {Command::UploadStart, "document-send", true},   {Command::UploadCancel, "process-stop", false},
    {Command::HelpNews, "dialog-information", true}, {Command::HelpAbout, "help-about", false},
};

std::vector<std::string> ToStrings(const QStringList& list) {
    std::vector<std::string> out;
    out.reserve(static_cast<size_t>(list.size()));
    for (const QString& text : list) {
        out.push_back(text.toStdString());
    }
    return out;
}

} // namespace

frmMain::frmMain(const frmMainSetup& setup, QWidget* parent)
    : QMainWindow(parent), m_Settings(setup.settings), m_Texts(setup.texts),
      m_ConfigFile(setup.configFile), m_LanguageFolder(setup.languageFolder),
      m_BaseUrl(modUpload::NormalizeBaseUrl(setup.baseUrl)), m_Sockets(setup.sockets),
      m_Format(setup.format),
      m_OwnDialogs(setup.dialogs == nullptr ? std::make_unique<QtDialogs>() : nullptr),
      m_Dialogs(setup.dialogs != nullptr ? setup.dialogs : m_OwnDialogs.get()),
      objUpload(setup.settings, setup.texts, m_Format, m_Sockets),
      m_Queue(*this, setup.settings, setup.texts, m_Format, objUpload) {
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QStringLiteral("Vostrand"));
    setWindowIcon(ProgramIcon());
    setMinimumSize(530, 300);
    resize(960, 480);

    objUpload.SetBaseUrl(m_BaseUrl);
    m_Queue.SetHomePage(m_BaseUrl);
    objUpload.TrayTip = [this](const std::string& text) {
        if (m_Tray != nullptr) {
            m_Tray->setToolTip(Q(text));
        }
    };
    // Read at once: posted, the next run might already have begun.
    m_Queue.RunEnded = [this] { OnRunEnded(); };
    m_Queue.UploadEnded = [this](const std::string&) { Post([this] { UpdateRunProgress(); }); };

    tmrUpload.setInterval(1000);
    connect(&tmrUpload, &QTimer::timeout, this, [this] {
        m_Queue.Tick();
        UpdateRunProgress();
    });

    CreateMenus();
    CreateToolbar();
    CreateList();
    CreateStatusBar();
    m_Queue.SetInitialState();

    // The order in which the window has always come up: settings, language, window state,
    // column widths, counters, the waiting text, then the query.
    modConfig::LoadConfig(m_Settings, m_ConfigFile);
    LoadLanguageMenu();
    ApplyLanguage();
    if (m_Settings.WindowState() != 0) {
        setWindowState(windowState() | Qt::WindowMaximized);
    }
    // Before the first close nothing is stored and every column would be 75 pixels, too narrow
    // for names, sizes and links: the first run gets widths that fit them and their captions.
    constexpr std::array<int, UploadListModel::ColumnCount> FirstRunWidths = {
        200, 60, 90, 110, 80, 90, 150, 110, 90, 120, 75, 75, 300};
    const bool stored = !modConfig::ReadIniValue(m_ConfigFile, "Listview", "column_01", "").empty();
    QHeaderView* header = lvwMain->header();
    for (int i = 0; i < UploadListModel::ColumnCount; ++i) {
        header->resizeSection(i, stored ? m_Settings.ColumnWidth(i)
                                        : std::max(FirstRunWidths[static_cast<size_t>(i)],
                                                   header->sectionSizeHint(i)));
    }
    m_Queue.Status().ShowUploadTraffic(m_Settings.StatisticSize());
    m_Queue.Status().ShowUploadCount(m_Settings.StatisticCount());
    m_Queue.Status().ShowMainText(m_Texts.GetStatusbarText(1));
    auto info = std::make_unique<clsInfo>(m_Settings, m_Sockets);
    info->SetBaseUrl(m_BaseUrl);
    m_Queue.RequestInfo(std::move(info));

    // A session that ends without closing the window still leaves the settings behind.
    connect(qApp, &QCoreApplication::aboutToQuit, this, [this] { Unload(); });
}

QIcon frmMain::ProgramIcon() {
    // Once: every later icon of the window comes from the same resource.
    static const bool registered = (InitResources(), true);
    Q_UNUSED(registered);
    return QIcon::fromTheme(QStringLiteral("vostrand-uploader"),
                            QIcon(QStringLiteral(":/icons/vostrand-uploader.svg")));
}

frmMain::~frmMain() {
    // The model listens to the queue's list, which goes before the child widgets do.
    delete lvwMain;
    lvwMain = nullptr;
    delete m_Model;
    m_Model = nullptr;
    objUpload.TrayTip = nullptr;
    m_Queue.RunEnded = nullptr;
    m_Queue.UploadEnded = nullptr;
}

// --- creation ---------------------------------------------------------------------------------

void frmMain::CreateMenus() {
    auto item = [this](const char* name, Command command) {
        auto* action = new QAction(BuiltInCaption(name), this);
        action->setObjectName(QString::fromUtf8(name));
        m_MenuItems.insert(action->objectName(), action);
        m_CommandActions[static_cast<size_t>(command)] = action;
        connect(action, &QAction::triggered, this, [this, command] { RunCommand(command); });
        return action;
    };
    auto separator = [this](QMenu* menu, const char* name) {
        QAction* action = menu->addSeparator();
        action->setObjectName(QString::fromUtf8(name));
        m_MenuItems.insert(action->objectName(), action);
        return action;
    };
    auto menu = [this](QMenu* parentMenu, const char* name) {
        QMenu* created = parentMenu != nullptr ? parentMenu->addMenu(BuiltInCaption(name))
                                               : menuBar()->addMenu(BuiltInCaption(name));
        created->setObjectName(QString::fromUtf8(name));
        created->menuAction()->setObjectName(QString::fromUtf8(name));
        m_MenuItems.insert(created->objectName(), created->menuAction());
        return created;
    };

    QMenu* mnuFile = menu(nullptr, "mnuFile");
    mnuFile->addAction(item("mnuFileExit", Command::FileExit));
    m_CommandActions[static_cast<size_t>(Command::FileExit)]->setMenuRole(QAction::QuitRole);

    QMenu* mnuEdit = menu(nullptr, "mnuEdit");
    mnuEdit->addAction(item("mnuEditAdd", Command::EditAdd));
    MenuAction(Command::EditAdd)->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    mnuEdit->addAction(item("mnuEditRemove", Command::EditRemove));
    MenuAction(Command::EditRemove)->setShortcut(QKeySequence(Qt::Key_Delete));
    separator(mnuEdit, "mnuEditSeperator01");
    QMenu* mnuEditPublish = menu(mnuEdit, "mnuEditPublish");
    m_CommandActions[static_cast<size_t>(Command::EditPublish)] = mnuEditPublish->menuAction();
    mnuEditPublish->addAction(item("mnuEditPublishYes", Command::EditPublishYes));
    mnuEditPublish->addAction(item("mnuEditPublishNo", Command::EditPublishNo));
    mnuEdit->addAction(item("mnuEditSetBinLayerID", Command::EditSetBinLayerID));
    mnuEdit->addAction(item("mnuEditSetDescription", Command::EditSetDescription));
    mnuEdit->addAction(item("mnuEditSetPassword", Command::EditSetPassword));
    mnuEdit->addAction(item("mnuEditCopyUrls", Command::EditCopyUrls));
    MenuAction(Command::EditCopyUrls)->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_C));
    separator(mnuEdit, "mnuEditSeperator02");
    mnuEdit->addAction(item("mnuEditSelectAll", Command::EditSelectAll));
    MenuAction(Command::EditSelectAll)->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_A));

    QMenu* mnuUpload = menu(nullptr, "mnuUpload");
    mnuUpload->addAction(item("mnuUploadStart", Command::UploadStart));
    mnuUpload->addAction(item("mnuUploadCancel", Command::UploadCancel));

    QMenu* mnuExtras = menu(nullptr, "mnuExtras");
    mnuExtrasLanguage = menu(mnuExtras, "mnuExtrasLanguage");
    m_LanguageGroup = new QActionGroup(this);
    m_LanguageGroup->setExclusive(true);
    connect(m_LanguageGroup, &QActionGroup::triggered, this,
            [this](QAction* entry) { SwitchLanguage(entry); });
    mnuExtrasSeperator01 = separator(mnuExtras, "mnuExtrasSeperator01");
    mnuExtras->addAction(item("mnuExtrasOptions", Command::ExtrasOptions));
    MenuAction(Command::ExtrasOptions)->setMenuRole(QAction::PreferencesRole);
    // Shown once language files are found.
    mnuExtrasLanguage->menuAction()->setVisible(false);
    mnuExtrasSeperator01->setVisible(false);

    QMenu* mnuHelp = menu(nullptr, "mnuHelp");
    mnuHelp->addAction(item("mnuHelpNews", Command::HelpNews));
    mnuHelp->addAction(item("mnuHelpAbout", Command::HelpAbout));
    MenuAction(Command::HelpAbout)->setMenuRole(QAction::AboutRole);
}

void frmMain::CreateToolbar() {
    tbrMain = addToolBar(QStringLiteral("tbrMain"));
    tbrMain->setObjectName(QStringLiteral("tbrMain"));
    tbrMain->setMovable(false);
    tbrMain->setFloatable(false);
    tbrMain->setContextMenuPolicy(Qt::PreventContextMenu);
    tbrMain->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    tbrMain->setIconSize(QSize(24, 24));
    for (const ToolbarButton& button : ToolbarButtons) {
        if (button.separatorBefore) {
            tbrMain->addSeparator();
        }
        const QString key = QString::fromUtf8(InfoOf(button.command).toolbarKey);
        const QIcon icon = QIcon::fromTheme(QString::fromUtf8(button.themeIcon),
                                            QIcon(QStringLiteral(":/icons/%1.svg").arg(key)));
        QAction* action = tbrMain->addAction(icon, key);
        action->setObjectName(key);
        m_ButtonActions[static_cast<size_t>(button.command)] = action;
        const Command command = button.command;
        connect(action, &QAction::triggered, this, [this, command] { RunCommand(command); });
    }
}

void frmMain::CreateList() {
    lvwMain = new UploadListView(this);
    lvwMain->setObjectName(QStringLiteral("lvwMain"));
    m_Model = new UploadListModel(m_Queue.List(), this);
    lvwMain->setModel(m_Model);
    lvwMain->setItemDelegateForColumn(static_cast<int>(UploadColumn::Progress),
                                      new ProgressDelegate(lvwMain));
    lvwMain->header()->setStretchLastSection(false);
    lvwMain->header()->setSectionsMovable(false);
    lvwMain->setIconSize(QSize(16, 16));
    connect(lvwMain, &UploadListView::FilesDropped, this,
            [this](const QStringList& paths) { m_Queue.FilesDropped(ToStrings(paths)); });
    // The run's progress follows every change of a row.
    connect(m_Model, &QAbstractItemModel::dataChanged, this, [this] { UpdateRunProgress(); });
    setCentralWidget(lvwMain);
}

void frmMain::CreateStatusBar() {
    for (size_t i = 0; i < m_Panels.size(); ++i) {
        auto* panel = new QLabel(this);
        panel->setObjectName(QString::fromUtf8(StatusBar::PanelKeys[i]));
        panel->setTextFormat(Qt::PlainText);
        panel->setContentsMargins(4, 0, 4, 0);
        m_Panels[i] = panel;
    }
    // The built-in texts and tooltips, until the language is applied.
    m_Panels[1]->setText(QStringLiteral("Dateien: 0"));
    m_Panels[1]->setToolTip(QStringLiteral("Anzahl der Dateien in der Liste"));
    m_Panels[2]->setText(QStringLiteral("Größe: ? MB"));
    m_Panels[2]->setToolTip(QStringLiteral("Maximale Dateigröße"));
    m_Panels[3]->setText(QStringLiteral("Traffic: 0,00 MB"));
    m_Panels[3]->setToolTip(QStringLiteral("Menge der hochgeladenen Daten"));
    m_Panels[4]->setText(QStringLiteral("Uploads: 0"));
    m_Panels[4]->setToolTip(QStringLiteral("Anzahl der hochgeladenen Dateien"));

    m_RunProgress = new QProgressBar(this);
    m_RunProgress->setObjectName(QStringLiteral("RunProgress"));
    m_RunProgress->setRange(0, 1000);
    m_RunProgress->setMaximumWidth(160);
    m_RunProgress->setVisible(false);

    QStatusBar* bar = statusBar();
    bar->setObjectName(QStringLiteral("sbrMain"));
    bar->addWidget(m_Panels[0], 1);
    bar->addWidget(m_RunProgress);
    for (size_t i = 1; i < m_Panels.size(); ++i) {
        bar->addPermanentWidget(m_Panels[i]);
    }
}

// --- language ---------------------------------------------------------------------------------

void frmMain::LoadLanguageMenu() {
    const std::vector<std::string> names = modLanguage::ListLanguages(m_LanguageFolder);
    if (names.empty()) {
        return;
    }
    const LanguageChoice choice =
        SettleLanguageInFolder(m_LanguageFolder, m_Settings.Language(), UserLocale());
    m_Settings.SetLanguage(choice.language);
    for (size_t i = 0; i < names.size(); ++i) {
        QString caption = Q(names[i]);
        auto* entry =
            new QAction(caption.replace(QLatin1Char('&'), QStringLiteral("&&")), m_LanguageGroup);
        entry->setObjectName(QStringLiteral("mnuExtrasLanguageList"));
        entry->setData(Q(names[i]));
        entry->setCheckable(true);
        entry->setChecked(static_cast<int32_t>(i) == choice.index);
        mnuExtrasLanguage->addAction(entry);
    }
    mnuExtrasLanguage->menuAction()->setVisible(true);
    mnuExtrasSeperator01->setVisible(true);
}

void frmMain::SwitchLanguage(QAction* entry) {
    // The file's name, not the caption: a language file may give every entry one caption.
    m_Settings.SetLanguage(entry->data().toString().toStdString());
    ApplyLanguage();
}

QList<QAction*> frmMain::LanguageEntries() const {
    return m_LanguageGroup->actions();
}

void frmMain::ApplyLanguage() {
    const std::string file = LanguageFile();
    for (const WindowText& entry : MainWindowTexts()) {
        const std::optional<std::string> text = ResolveWindowText(entry, "Main", file);
        if (!text) {
            continue;
        }
        const QString value = Q(*text);
        const QString control = Q(entry.control);
        switch (entry.target) {
        case TextTarget::WindowCaption:
            setWindowTitle(value);
            objUpload.SetTrayCaption(*text);
            break;
        case TextTarget::Menu:
            if (entry.control == "mnuExtrasLanguageList") {
                for (QAction* language : m_LanguageGroup->actions()) {
                    language->setText(value);
                }
            } else if (QAction* action = m_MenuItems.value(control)) {
                // A separator that is given a text becomes an ordinary entry.
                action->setSeparator(false);
                action->setText(value);
            }
            break;
        case TextTarget::ToolbarCaption:
        case TextTarget::ToolbarTooltip:
            for (QAction* action : tbrMain->actions()) {
                if (action->objectName() == control) {
                    if (entry.target == TextTarget::ToolbarCaption) {
                        action->setText(value);
                    } else {
                        action->setToolTip(value);
                    }
                }
            }
            break;
        case TextTarget::PanelTemplate:
            m_Queue.Status().SetTemplate(entry.control, *text);
            break;
        case TextTarget::PanelTooltip:
            for (QLabel* panel : m_Panels) {
                if (panel->objectName() == control) {
                    panel->setToolTip(value);
                }
            }
            break;
        case TextTarget::ColumnHeader:
            m_Model->SetHeaderText(std::stoi(entry.control) - 1, value);
            break;
        default:
            break;
        }
    }
    modLanguage::LoadTextLists(m_Texts, file);
    m_Queue.RefreshPanels();
}

// --- commands ---------------------------------------------------------------------------------

QAction* frmMain::MenuAction(Command command) const {
    return m_CommandActions[static_cast<size_t>(command)];
}

QAction* frmMain::ButtonAction(Command command) const {
    return m_ButtonActions[static_cast<size_t>(command)];
}

void frmMain::RunCommand(Command command) {
    switch (command) {
    case Command::FileExit:
        close();
        break;
    case Command::EditAdd:
        m_Queue.AddFiles();
        break;
    case Command::EditRemove:
        m_Queue.Remove();
        break;
    case Command::EditPublish:
        break;
    case Command::EditPublishYes:
        m_Queue.PublishYes();
        break;
    case Command::EditPublishNo:
        m_Queue.PublishNo();
        break;
    case Command::EditSetBinLayerID:
        m_Queue.SetBinLayerID();
        break;
    case Command::EditSetDescription:
        m_Queue.SetDescription();
        break;
    case Command::EditSetPassword:
        m_Queue.SetPassword();
        break;
    case Command::EditCopyUrls:
        m_Queue.CopyUrls();
        break;
    case Command::EditSelectAll:
        m_Queue.SelectAll();
        break;
    case Command::UploadStart:
        m_Queue.Start();
        UpdateRunProgress();
        break;
    case Command::UploadCancel:
        m_Queue.Cancel();
        break;
    case Command::ExtrasOptions:
        ShowOptions();
        break;
    case Command::HelpNews:
        ShowNews();
        break;
    case Command::HelpAbout:
        ShowAbout();
        break;
    }
}

std::string frmMain::LanguageFile() const {
    return modLanguage::LanguageFilePath(m_LanguageFolder, m_Settings.Language());
}

void frmMain::ShowOptions() {
    // Changed settings take effect where they are next read; the window has nothing to redo.
    frmConfig dialog(m_Settings, LanguageFile(), this);
    dialog.exec();
}

void frmMain::ShowAbout() {
    // A fresh dialog each time, so its statistics are the current ones.
    frmAbout dialog(m_Settings, LanguageFile(), m_Format, m_BaseUrl, this);
    dialog.exec();
}

void frmMain::ShowNews() {
    m_Dialogs->Message(this, QString::fromUtf8(UploadQueue::ProgramTitle),
                       Q(m_Queue.Service().News), 64);
}

void frmMain::AddFilesLater(const QStringList& paths) {
    m_PendingFiles += paths;
    if (lvwMain->DropEnabled()) {
        Post([this] { AddPendingFiles(); });
    }
}

void frmMain::AddPendingFiles() {
    if (m_PendingFiles.isEmpty() || !lvwMain->DropEnabled()) {
        return;
    }
    const QStringList paths = std::exchange(m_PendingFiles, {});
    m_Queue.FilesDropped(ToStrings(paths));
}

// --- run progress and its end -----------------------------------------------------------------

void frmMain::UpdateRunProgress() {
    const bool running = m_Queue.RunInProgress();
    if (running) {
        const UploadQueue::RunProgress progress = m_Queue.Progress();
        const double share = progress.BytesTotal > 0 ? static_cast<double>(progress.BytesSent) /
                                                           static_cast<double>(progress.BytesTotal)
                                                     : 0.0;
        m_RunProgress->setValue(static_cast<int>(qBound(0.0, share, 1.0) * 1000.0));
    }
    if (m_RunProgress->isVisibleTo(this) != running) {
        m_RunProgress->setVisible(running);
    }
}

void frmMain::OnRunEnded() {
    UpdateRunProgress();
    if (m_Unloaded) {
        return;
    }
    // Someone working in this window sees the end; anyone elsewhere is told.
    if (isVisible() && !isMinimized() && isActiveWindow()) {
        return;
    }
    const UploadQueue::RunProgress progress = m_Queue.Progress();
    DesktopNotifier::Notify(
        windowTitle().isEmpty() ? QString::fromUtf8(UploadQueue::ProgramTitle) : windowTitle(),
        Q(modConfig::ReadIniValue(LanguageFile(), "Main", "Notification.RunEnded",
                                  "%1 hochgeladen, %2 fehlgeschlagen"))
            .arg(progress.Completed)
            .arg(progress.Failed),
        QStringLiteral("vostrand-uploader"));
}

// --- window events ----------------------------------------------------------------------------

void frmMain::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (event->type() != QEvent::WindowStateChange) {
        return;
    }
    if (isMinimized()) {
        MinimiseToTray();
        return;
    }
    m_Settings.SetWindowState(isMaximized() ? 2 : 0);
}

void frmMain::MinimiseToTray() {
    // Without a notification area the window stays minimised in the taskbar.
    if (m_Tray != nullptr || !QSystemTrayIcon::isSystemTrayAvailable()) {
        return;
    }
    m_Tray = new QSystemTrayIcon(windowIcon(), this);
    m_Tray->setToolTip(windowTitle());
    connect(m_Tray, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                if (reason == QSystemTrayIcon::Trigger) {
                    RestoreFromTray();
                }
            });
    m_Tray->show();
    // Hidden after the state change has settled, so the window leaves the taskbar.
    QTimer::singleShot(0, this, [this] {
        if (m_Tray != nullptr && isMinimized()) {
            hide();
        }
    });
}

void frmMain::RestoreFromTray() {
    if (m_Settings.WindowState() == 2) {
        showMaximized();
    } else {
        showNormal();
    }
    raise();
    activateWindow();
    if (m_Tray != nullptr) {
        m_Tray->hide();
        m_Tray->deleteLater();
        m_Tray = nullptr;
    }
}

void frmMain::closeEvent(QCloseEvent* event) {
    if (!m_Unloaded && !m_Queue.QueryClose()) {
        event->ignore();
        return;
    }
    Unload();
    event->accept();
}

void frmMain::Unload() {
    if (m_Unloaded) {
        return;
    }
    m_Unloaded = true;
    tmrUpload.stop();
    // The widths as the user left them, so a resized column stays.
    for (int i = 0; i < UploadListModel::ColumnCount; ++i) {
        m_Settings.SetColumnWidth(i, lvwMain->header()->sectionSize(i));
    }
    modConfig::SaveConfig(m_Settings, m_ConfigFile);
    if (m_Tray != nullptr) {
        m_Tray->hide();
    }
}

// --- WindowToolkit ----------------------------------------------------------------------------

void frmMain::SetMenuEnabled(Command command, bool enabled) {
    if (QAction* action = MenuAction(command)) {
        action->setEnabled(enabled);
    }
}

void frmMain::SetButtonEnabled(Command command, bool enabled) {
    if (QAction* action = ButtonAction(command)) {
        action->setEnabled(enabled);
    }
}

std::vector<int32_t> frmMain::SelectedRows() const {
    std::vector<int32_t> rows;
    for (const QModelIndex& index : lvwMain->selectionModel()->selectedRows()) {
        rows.push_back(index.row());
    }
    return rows;
}

void frmMain::SelectAllRows() {
    lvwMain->selectAll();
}

void frmMain::ClearCurrentRow() {
    lvwMain->selectionModel()->setCurrentIndex({}, QItemSelectionModel::NoUpdate);
}

void frmMain::SetRedraw(bool enabled) {
    lvwMain->setUpdatesEnabled(enabled);
}

void frmMain::SetDropEnabled(bool enabled) {
    lvwMain->SetDropEnabled(enabled);
    if (enabled && !m_PendingFiles.isEmpty()) {
        Post([this] { AddPendingFiles(); });
    }
}

bool frmMain::LoadExtensionIcon(const std::string& key) {
    const QString name = QStringLiteral("file") + Q(key);
    const QMimeType type = QMimeDatabase().mimeTypeForFile(name, QMimeDatabase::MatchExtension);
    QIcon icon = QIcon::fromTheme(type.iconName());
    if (icon.isNull()) {
        icon = QIcon::fromTheme(type.genericIconName());
    }
    if (icon.isNull()) {
        icon = QFileIconProvider().icon(QFileIconProvider::File);
    }
    if (icon.isNull()) {
        return false;
    }
    m_Model->SetIcon(Q(key), icon);
    return true;
}

void frmMain::SetPanelText(const std::string& key, const std::string& text) {
    for (QLabel* panel : m_Panels) {
        if (panel->objectName().toStdString() == key) {
            panel->setText(Q(text));
        }
    }
}

int32_t frmMain::ShowMessage(const std::string& text, int32_t flags) {
    return m_Dialogs->Message(this, QString::fromUtf8(UploadQueue::ProgramTitle), Q(text), flags);
}

std::optional<std::string> frmMain::InputBox(const std::string& prompt, const std::string& title) {
    const std::optional<QString> text = m_Dialogs->Input(this, Q(prompt), Q(title));
    if (!text) {
        return std::nullopt;
    }
    return text->toStdString();
}

std::vector<std::string> frmMain::ShowOpenDialog(const std::string& initialFolder) {
    return ToStrings(m_Dialogs->OpenFiles(this, Q(initialFolder)));
}

std::string frmMain::ShowSaveDialog(const std::string& initialName,
                                    const std::string& initialFolder,
                                    const std::string& defaultExtension) {
    return m_Dialogs->SaveFile(this, Q(initialName), Q(initialFolder), Q(defaultExtension))
        .toStdString();
}

void frmMain::SetClipboardText(const std::string& text) {
    QApplication::clipboard()->setText(Q(text));
}

void frmMain::OpenUrl(const std::string& url) {
    QDesktopServices::openUrl(QUrl(Q(url)));
}

void frmMain::SetTimerEnabled(bool enabled) {
    if (enabled) {
        if (!tmrUpload.isActive()) {
            tmrUpload.start();
        }
    } else {
        tmrUpload.stop();
    }
}

void frmMain::Post(std::function<void()> work) {
    QTimer::singleShot(0, this, [work = std::move(work)] { work(); });
}
