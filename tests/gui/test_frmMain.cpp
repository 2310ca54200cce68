// The main window as real widgets (offscreen) against vostrand-service on loopback, dialogs
// answered by the window's answerer: what the widgets add to the queue (tested in the ui suite).
#include "support/Support.h"

#include "gui/SingleInstance.h"
#include "gui/UploadListModel.h"
#include "gui/UploadListView.h"
#include "gui/frmMain.h"
#include "settings/modConfig.h"

#include <QAbstractItemModelTester>
#include <QClipboard>
#include <QDBusConnection>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QProgressBar>
#include <QSystemTrayIcon>
#include <QTest>
#include <gtest/gtest.h>

namespace {

using namespace testsupport;

struct ScriptedDialogs : DialogAnswerer {
    QStringList messages, open; // "flags:text"; open is taken by the next file dialog
    int32_t yesNo = modLanguage::ID_NO;
    QString save;
    int32_t Message(QWidget*, const QString&, const QString& text, int32_t flags) override {
        messages << QString::number(flags) + ":" + text;
        return flags == modLanguage::MB_QUESTION_YESNO ? yesNo : 1;
    }
    std::optional<QString> Input(QWidget*, const QString&, const QString&) override { return {}; }
    QStringList OpenFiles(QWidget*, const QString&) override { return std::exchange(open, {}); }
    QString SaveFile(QWidget*, const QString&, const QString&, const QString&) override {
        return save;
    }
};

// Stands in for the desktop's notification server on a private session bus.
class NotificationServer : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    QStringList shown;
public slots:
    uint Notify(const QString&, uint, const QString&, const QString& summary, const QString& body,
                const QStringList&, const QVariantMap&, int) {
        shown << summary + ": " + body;
        return static_cast<uint>(shown.size());
    }
};

class WindowTest : public testing::Test {
protected:
    static void SetUpTestSuite() { s_Service = new Service(); }
    static void TearDownTestSuite() { delete std::exchange(s_Service, nullptr); }
    void SetUp() override {
        ASSERT_TRUE(s_Service->Ok());
        ASSERT_TRUE(modConfig::WriteIniValue(Config(), "Main", "language", "English", true));
        m_Dialogs.save = m_Dir.filePath("upload.log");
    }
    std::string Config() const { return m_Dir.filePath("config.ini").toStdString(); }
    QString File(const char* name, int64_t size) const {
        return QString::fromStdString(WriteRandomFile(m_Dir, name, size));
    }
    std::unique_ptr<frmMain> Open(const std::string& languages = BinPath("language/")) {
        auto window = std::make_unique<frmMain>(frmMainSetup{
            m_Settings, m_Texts, Config(), languages, s_Service->BaseUrl(), {}, &m_Dialogs});
        m_Tester = std::make_unique<QAbstractItemModelTester>(
            window->Model(), QAbstractItemModelTester::FailureReportingMode::Fatal);
        window->show();
        return window;
    }
    static bool Ready(const frmMain& window) {
        return Until([&] { return window.MenuAction(Command::HelpAbout)->isEnabled(); }, 15000);
    }
    static std::string Column(const frmMain& window, UploadColumn col, int role = Qt::DisplayRole) {
        QStringList values;
        for (int row = 0; row < window.Model()->rowCount(); ++row)
            values << window.Model()->index(row, static_cast<int>(col)).data(role).toString();
        return values.join('|').toStdString();
    }
    // What a user can reach: entries inside enabled menus, buttons, languages, drops; progress.
    static std::string State(const frmMain& window) {
        const auto reachable = [](QAction* action) {
            bool on = action && action->isEnabled();
            for (QObject* holder : action ? action->associatedObjects() : QObjectList())
                if (auto* menu = qobject_cast<QMenu*>(holder))
                    on = on && menu->menuAction()->isEnabled();
            return on;
        };
        QStringList names;
        for (const CommandInfo& info : Commands)
            names << (reachable(window.MenuAction(info.command)) ? info.menuName : "")
                  << (reachable(window.ButtonAction(info.command)) ? info.toolbarKey : "");
        const QAction* language = window.LanguageMenu()->menuAction();
        names << (language->isEnabled() && language->isVisible() ? "language" : "")
              << (window.List()->DropEnabled() ? "drop" : "")
              << (window.RunProgressBar()->isVisibleTo(&window) ? "progress" : "");
        names.removeAll("");
        return names.join(' ').toStdString();
    }

    static inline Service* s_Service = nullptr;
    QTemporaryDir m_Dir;
    ConfigSettings m_Settings;
    modLanguage::TextLists m_Texts;
    ScriptedDialogs m_Dialogs;
    std::unique_ptr<QAbstractItemModelTester> m_Tester;
};

// Every language file here captions the entries alike: the stored one comes up, and a switch
// loads the file of the entry clicked and changes every text at once.
TEST_F(WindowTest, ALanguageEntrySwitchesToItsOwnFileWhateverItsCaption) {
    // Each key with its %1 as shown: the panels fill in 0 files and the service's 100 MB.
    const QStringList keys({"Window.Caption %1", "Menu(\"mnuEditAdd\").Caption %1",
                            "Toolbar.Button(\"upload\").Tooltip %1", "Listview.Column(13).Text %1",
                            "Statusbar.Panel(\"file_count\").Text 0",
                            "Statusbar.Panel(\"upload_maxfilesize\").Text 100", "Status(1) %1"});
    QTemporaryDir languages;
    QString given[2];
    for (const QString name : {"Alpha", "Beta"}) {
        QString ini = "[Main]\nMenu(\"mnuExtrasLanguageList\").Caption=Sprache\n";
        for (const QString& key : keys) {
            const QString text = name + " ü " + key.left(6) + " ";
            ini += key.section(' ', 0, 0) + "=" + text + "%1\n";
            given[name == "Beta"] += text + key.section(' ', 1) + "|";
        }
        WriteFile(languages, (name + ".ini").toStdString(), ini.toUtf8().toStdString());
    }
    ASSERT_TRUE(modConfig::WriteIniValue(Config(), "Main", "language", "Beta", true));
    auto window = Open(languages.path().toStdString());
    ASSERT_TRUE(Ready(*window));
    const auto shown = [&] {
        QStringList texts({window->windowTitle(), window->MenuAction(Command::EditAdd)->text(),
                           window->ButtonAction(Command::UploadStart)->toolTip(),
                           window->Model()->headerData(12, Qt::Horizontal).toString(),
                           window->Panel(1)->text(), window->Panel(2)->text(),
                           QString::fromStdString(m_Texts.GetStatusText(1))});
        for (QAction* entry : window->LanguageEntries())
            texts << entry->text() + (entry->isChecked() ? "*" : "");
        return texts.join('|');
    };
    EXPECT_EQ(shown(), given[1] + "Sprache|Sprache*");
    window->LanguageEntries()[0]->trigger();
    EXPECT_EQ(QString::fromStdString(m_Settings.Language()) + " " + shown(),
              "Alpha " + given[0] + "Sprache*|Sprache");
}

// Files come by the add button, from a second start of the program and by a drop; the list's
// selection drives copy and remove; closing asks while a run goes on and stores the window.
TEST_F(WindowTest, AddsHandsOverDropsRunsCopiesAndRemovesAgainstTheService) {
    const QString a = File("a.txt", 10000), b = File("b.bin", 300000);
    File("c.dat", 50000);
    // Once any width is stored, every column comes back with its stored one (or 75).
    ASSERT_TRUE(modConfig::WriteIniValue(Config(), "Listview", "column_01", "80", true));
    QTemporaryDir runtime;
    SingleInstance first(runtime.path());
    ASSERT_TRUE(first.Acquire());
    auto window = Open();
    QObject::connect(&first, &SingleInstance::FilesReceived, window.get(),
                     [&](const QStringList& files) { window->AddFilesLater(files); });
    EXPECT_EQ(State(*window), "mnuFileExit language"); // until the service answered
    ASSERT_TRUE(Ready(*window));
    QHeaderView* header = window->List()->header();
    EXPECT_EQ(QString("%1 %2").arg(header->sectionSize(0)).arg(header->sectionSize(1)), "80 75");
    window->showMaximized();
    header->resizeSection(0, 234);
    EXPECT_EQ(State(*window), "mnuFileExit mnuEditAdd add mnuExtrasOptions mnuHelpNews news "
                              "mnuHelpAbout about language drop");
    m_Dialogs.open = {a};
    window->ButtonAction(Command::EditAdd)->trigger();
    QProcess second;
    second.setWorkingDirectory(m_Dir.path());
    second.start("env", {"XDG_RUNTIME_DIR=" + runtime.path(),
                         QString::fromStdString(BinPath("vostrand-uploader")), "c.dat"});
    ASSERT_TRUE(Until([&] { return second.state() == QProcess::NotRunning; }, 15000));
    EXPECT_TRUE(second.exitStatus() == QProcess::NormalExit && second.exitCode() == 0)
        << second.readAllStandardError().toStdString();
    ASSERT_TRUE(Until([&] { return Column(*window, UploadColumn::FileName) == "a.txt|c.dat"; }));
    QMimeData dragged; // as a file manager drags: the drop goes to whoever took the enter
    dragged.setUrls({QUrl::fromLocalFile(b)});
    QWidget* target = window->List()->viewport();
    QDragEnterEvent enter(target->rect().center(), Qt::CopyAction, &dragged, Qt::LeftButton, {});
    QApplication::sendEvent(target, &enter);
    QDropEvent drop(target->rect().center(), Qt::CopyAction, &dragged, Qt::LeftButton, {});
    QApplication::sendEvent(target, &drop);
    window->ButtonAction(Command::UploadStart)->trigger();
    EXPECT_EQ(
        State(*window),
        "mnuFileExit mnuEditSetBinLayerID mnuEditSetDescription mnuEditSetPassword "
        "mnuEditCopyUrls mnuUploadCancel cancel mnuExtrasOptions mnuHelpNews news mnuHelpAbout "
        "about language progress");
    m_Dialogs.yesNo = modLanguage::ID_YES; // keep going
    EXPECT_FALSE(window->close());
    ASSERT_TRUE(Until([&] { return !window->Queue().RunInProgress(); }, 30000));
    EXPECT_EQ(Column(*window, UploadColumn::Status, UploadListModel::RawValueRole),
              QString("%1|%1|%1").arg(static_cast<int>(RowState::Complete)).toStdString());
    EXPECT_EQ(m_Dialogs.messages.size(), 1); // the question; no warning came
    const QStringList urls =
        QString::fromStdString(Column(*window, UploadColumn::DownloadUrl)).split('|');
    EXPECT_TRUE(urls[0].startsWith(QString::fromStdString(s_Service->BaseUrl())) &&
                urls[0].endsWith("/a.txt"));
    const auto rows = QItemSelectionModel::Select | QItemSelectionModel::Rows;
    for (int row : {2, 0}) // in click order; the links come in list order
        window->List()->selectionModel()->select(window->Model()->index(row, 0), rows);
    window->MenuAction(Command::EditCopyUrls)->trigger();
    EXPECT_EQ(QApplication::clipboard()->text(), urls[0] + "\r\n" + urls[2]);
    window->MenuAction(Command::EditRemove)->trigger();
    EXPECT_EQ(Column(*window, UploadColumn::FileName) + " " +
                  window->Panel(1)->text().toStdString(),
              "c.dat Files: 1");

    EXPECT_TRUE(window->close());
    ConfigSettings saved;
    modConfig::LoadConfig(saved, Config());
    const auto n = [](int64_t value) { return std::to_string(value) + " "; };
    EXPECT_EQ(n(saved.StatisticCount()) + n(saved.StatisticSize()) + n(saved.WindowState()) +
                  n(saved.ColumnWidth(0)) + n(saved.ColumnWidth(1)) + saved.Language() + " " +
                  saved.LogFilePath(),
              "3 360000 2 234 75 English " + m_Dir.filePath("upload.log").toStdString());
}

// Also: minimised without a notification area, the window stays minimised, not hidden.
TEST_F(WindowTest, ARunThatEndsUnseenIsAnnouncedOnTheDesktop) {
    if (qEnvironmentVariableIsEmpty("VOSTRAND_PRIVATE_BUS")) { // again, on a bus of its own
        EXPECT_EQ(0,
                  QProcess::execute("dbus-run-session", {"--", "env", "VOSTRAND_PRIVATE_BUS=1",
                                                         QCoreApplication::applicationFilePath(),
                                                         "--gtest_filter=*.ARunThatEndsUnseen*"}));
        return;
    }
    auto bus = QDBusConnection::connectToBus(QDBusConnection::SessionBus, "notification-server");
    NotificationServer server;
    ASSERT_TRUE(bus.registerObject("/org/freedesktop/Notifications", &server,
                                   QDBusConnection::ExportAllSlots));
    ASSERT_TRUE(bus.registerService("org.freedesktop.Notifications"));
    ASSERT_FALSE(QSystemTrayIcon::isSystemTrayAvailable());

    auto window = Open();
    ASSERT_TRUE(Ready(*window));
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    for (const char* name : {"seen.txt", "unseen.txt"}) { // the first in front of the user
        m_Dialogs.open = {File(name, 100)};
        window->MenuAction(Command::EditAdd)->trigger();
        window->MenuAction(Command::UploadStart)->trigger();
        ASSERT_TRUE(Until([&] { return !window->Queue().RunInProgress(); }, 30000));
        window->showMinimized();
    }
    ASSERT_TRUE(Until([&] { return !server.shown.isEmpty(); }));
    QTest::qWait(100);
    EXPECT_EQ(server.shown.join('|').toStdString(), "Vostrand-Uploader: 1 uploaded, 0 failed");
    EXPECT_TRUE(window->isMinimized() && window->isVisible());
    EXPECT_EQ(m_Settings.WindowState(), 0);
}

} // namespace

#include "test_frmMain.moc"
