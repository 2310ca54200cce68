// The main window as real widgets (offscreen) against vostrand-service and raw servers on
// loopback. Dialogs are answered through the window's answerer, so no test runs a modal loop.
#include "Support.h"

#include "gui/SingleInstance.h"
#include "gui/UploadListModel.h"
#include "gui/UploadListView.h"
#include "gui/frmMain.h"
#include "settings/modConfig.h"

#include <QAbstractItemModelTester>
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDBusConnection>
#include <QDialog>
#include <QDir>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QProgressBar>
#include <QSystemTrayIcon>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <gtest/gtest.h>

void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}
void PrintTo(const QStringList& list, std::ostream* out) {
    PrintTo(list.join('|'), out);
}

namespace {

using testsupport::Until;

struct ScriptedDialogs : DialogAnswerer {
    QStringList messages; // "flags:text"
    int32_t yesNo = modLanguage::ID_NO;
    QStringList open; // taken by the next file dialog
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
    static void SetUpTestSuite() { s_Service = new testsupport::Service(); }
    static void TearDownTestSuite() { delete std::exchange(s_Service, nullptr); }
    void SetUp() override {
        ASSERT_TRUE(s_Service->Ok());
        ASSERT_TRUE(modConfig::WriteIniValue(Config(), "Main", "language", "English", true));
    }
    std::string Config() const { return m_Dir.filePath("config.ini").toStdString(); }
    QString File(const char* name, int64_t size) const {
        return QString::fromStdString(testsupport::WriteRandomFile(m_Dir, name, size));
    }
    QString Shown(int32_t flags, int message) const {
        return QString::number(flags) + ":" +
               QString::fromStdString(m_Texts.GetMessageText(message));
    }

    std::unique_ptr<frmMain>
    Open(const std::string& baseUrl,
         const std::string& languages = testsupport::BinPath("language/")) {
        auto window = std::make_unique<frmMain>(frmMainSetup{
            m_Settings, m_Texts, Config(), languages, baseUrl, NumberFormat{}, &m_Dialogs});
        // Every insert and remove is checked against the model's contract.
        m_Tester = std::make_unique<QAbstractItemModelTester>(
            window->Model(), QAbstractItemModelTester::FailureReportingMode::Fatal);
        window->show();
        return window;
    }
    static bool Ready(const frmMain& window) {
        return Until([&] { return window.MenuAction(Command::HelpAbout)->isEnabled(); }, 15000);
    }
    static QStringList Column(const frmMain& window, UploadColumn column,
                              int role = Qt::DisplayRole) {
        QStringList values;
        for (int row = 0; row < window.Model()->rowCount(); ++row)
            values << window.Model()->index(row, static_cast<int>(column)).data(role).toString();
        return values;
    }
    // As a file manager's drag arrives: the drop goes to whoever accepted the enter.
    static void Drop(frmMain& window, const QString& path) {
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(path)});
        QWidget* target = window.List()->viewport();
        QDragEnterEvent enter(target->rect().center(), Qt::CopyAction, &data, Qt::LeftButton, {});
        QApplication::sendEvent(target, &enter);
        QDropEvent drop(target->rect().center(), Qt::CopyAction, &data, Qt::LeftButton, {});
        QApplication::sendEvent(target, &drop);
    }
    // What a user can reach: enabled menu entries inside enabled menus, and enabled buttons.
    static QString Reachable(const frmMain& window) {
        QStringList names;
        for (const CommandInfo& info : Commands) {
            for (QAction* action :
                 {window.MenuAction(info.command), window.ButtonAction(info.command)}) {
                bool reachable = action != nullptr && action->isEnabled();
                for (QObject* holder : action ? action->associatedObjects() : QObjectList())
                    if (auto* menu = qobject_cast<QMenu*>(holder))
                        reachable = reachable && menu->menuAction()->isEnabled();
                if (reachable)
                    names << (action == window.MenuAction(info.command) ? info.menuName
                                                                        : info.toolbarKey);
            }
        }
        return names.join(' ');
    }

    static testsupport::Service* s_Service;
    QTemporaryDir m_Dir;
    ConfigSettings m_Settings;
    modLanguage::TextLists m_Texts;
    ScriptedDialogs m_Dialogs;
    std::unique_ptr<QAbstractItemModelTester> m_Tester;
};

testsupport::Service* WindowTest::s_Service = nullptr;

TEST_F(WindowTest, OnlyExitAndLanguageUntilTheAnswerThenWhatTheAnswerUnlocks) {
    testsupport::RawServer failing; // closes every connection at once
    const struct {
        std::string url;
        const char *reachable, *dialogs;
    } rows[] = {
        {s_Service->BaseUrl(),
         "mnuFileExit mnuEditAdd add mnuExtrasOptions mnuHelpNews news mnuHelpAbout about",
         "frmConfig frmAbout"},
        {failing.BaseUrl(), "mnuFileExit mnuHelpAbout about", "frmAbout"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.reachable);
        const bool answered = row.url == s_Service->BaseUrl();
        m_Dialogs.messages.clear();
        auto window = Open(row.url);
        EXPECT_EQ(Reachable(*window), "mnuFileExit");
        EXPECT_TRUE(window->LanguageMenu()->menuAction()->isEnabled());
        EXPECT_TRUE(window->LanguageMenu()->menuAction()->isVisible());
        EXPECT_FALSE(window->List()->DropEnabled());

        ASSERT_TRUE(Ready(*window));
        EXPECT_EQ(Reachable(*window), row.reachable);
        EXPECT_EQ(window->List()->DropEnabled(), answered);
        // The warning comes once the answer's event has returned.
        const QStringList warned =
            answered ? QStringList() : QStringList{Shown(modLanguage::MB_WARNING_OK, 1)};
        Until([&] { return m_Dialogs.messages.size() >= warned.size(); }, 5000);
        EXPECT_EQ(m_Dialogs.messages, warned);

        // The unlocked dialogs open modally, owned by the window.
        QStringList opened;
        for (Command command : {Command::ExtrasOptions, Command::HelpAbout}) {
            if (!window->MenuAction(command)->isEnabled())
                continue;
            QTimer::singleShot(0, [&] {
                if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
                    opened << dialog->objectName() + (dialog->parent() == window.get() ? "" : "?");
                    dialog->reject();
                }
            });
            window->MenuAction(command)->trigger();
        }
        EXPECT_EQ(opened.join(' '), row.dialogs);
    }
}

// Every language file here captions the entries alike: a switch still loads the file of the
// entry clicked, and changes every text at once.
TEST_F(WindowTest, ALanguageEntrySwitchesToItsOwnFileWhateverItsCaption) {
    const char* keys[] = {"Window.Caption",
                          "Menu(\"mnuEditAdd\").Caption",
                          "Toolbar.Button(\"upload\").Tooltip",
                          "Listview.Column(13).Text",
                          "Statusbar.Panel(\"file_count\").Text",
                          "Statusbar.Panel(\"upload_maxfilesize\").Text",
                          "Status(1)"};
    ASSERT_TRUE(QDir(m_Dir.path()).mkdir("language"));
    for (const std::string name : {"Alpha", "Beta"}) {
        std::string ini = "[Main]\nMenu(\"mnuExtrasLanguageList\").Caption=Sprache\n";
        for (const char* key : keys)
            ini += key + ("=" + name + " ü " + key + " %1\n");
        testsupport::WriteFile(m_Dir, "language/" + name + ".ini", ini);
    }
    const auto given = [&](const char* name) {
        QStringList texts;
        for (const char* key : keys)
            texts << QString("%1 ü %2 %3")
                         .arg(name, key,
                              key == keys[4]   ? "0"
                              : key == keys[5] ? "100"
                                               : "%1");
        return texts;
    };
    ASSERT_TRUE(modConfig::WriteIniValue(Config(), "Main", "language", "Alpha", true));
    auto window = Open(s_Service->BaseUrl(), m_Dir.filePath("language").toStdString());
    ASSERT_TRUE(Ready(*window));
    const auto shown = [&] {
        QStringList texts{window->windowTitle(),
                          window->MenuAction(Command::EditAdd)->text(),
                          window->ButtonAction(Command::UploadStart)->toolTip(),
                          window->Model()->headerData(12, Qt::Horizontal).toString(),
                          window->Panel(1)->text(),
                          window->Panel(2)->text(),
                          QString::fromStdString(m_Texts.GetStatusText(1))};
        for (QAction* entry : window->LanguageEntries())
            texts << entry->text() + (entry->isChecked() ? "*" : "");
        return texts;
    };
    EXPECT_EQ(shown(), given("Alpha") << "Sprache*"
                                      << "Sprache");
    window->LanguageEntries()[1]->trigger();
    EXPECT_EQ(m_Settings.Language(), "Beta");
    EXPECT_EQ(shown(), given("Beta") << "Sprache"
                                     << "Sprache*");
}

TEST_F(WindowTest, AddsDropsRunsCopiesAndRemovesAgainstTheService) {
    const QString a = File("a.txt", 10000), b = File("b.bin", 300000), c = File("c.dat", 50000);
    auto window = Open(s_Service->BaseUrl());
    ASSERT_TRUE(Ready(*window));
    m_Dialogs.open = {a, b};
    window->ButtonAction(Command::EditAdd)->trigger();
    Drop(*window, c);
    Drop(*window, a); // already listed
    ASSERT_EQ(Column(*window, UploadColumn::FileName), QStringList({"a.txt", "b.bin", "c.dat"}));
    ASSERT_EQ(m_Dialogs.messages.size(), 1);
    EXPECT_TRUE(m_Dialogs.messages[0].contains("a.txt")) << m_Dialogs.messages[0].toStdString();
    EXPECT_EQ(window->Panel(1)->text(), "Files: 3");

    m_Dialogs.save = m_Dir.filePath("upload.log");
    window->ButtonAction(Command::UploadStart)->trigger();
    EXPECT_TRUE(window->RunProgressBar()->isVisibleTo(window.get()));
    EXPECT_FALSE(window->MenuAction(Command::EditAdd)->isEnabled());
    EXPECT_FALSE(window->List()->DropEnabled());
    ASSERT_TRUE(Until([&] { return !window->Queue().RunInProgress(); }, 30000));
    EXPECT_EQ(Column(*window, UploadColumn::Status, UploadListModel::RawValueRole),
              QStringList(3, QString::number(static_cast<int>(RowState::Complete))));
    EXPECT_FALSE(window->RunProgressBar()->isVisibleTo(window.get()));
    EXPECT_TRUE(window->MenuAction(Command::EditAdd)->isEnabled());

    const QStringList urls = Column(*window, UploadColumn::DownloadUrl);
    EXPECT_TRUE(urls[0].startsWith(QString::fromStdString(s_Service->BaseUrl())) &&
                urls[0].endsWith("/a.txt"))
        << urls[0].toStdString();
    for (int row : {2, 0}) // in click order; the links come in list order
        window->List()->selectionModel()->select(window->Model()->index(row, 0),
                                                 QItemSelectionModel::Select |
                                                     QItemSelectionModel::Rows);
    window->MenuAction(Command::EditCopyUrls)->trigger();
    EXPECT_EQ(QApplication::clipboard()->text(), urls[0] + "\r\n" + urls[2]);
    window->MenuAction(Command::EditRemove)->trigger();
    EXPECT_EQ(Column(*window, UploadColumn::FileName), QStringList({"b.bin"}));
    EXPECT_EQ(window->Panel(1)->text(), "Files: 1");

    EXPECT_TRUE(window->close());
    ConfigSettings saved;
    modConfig::LoadConfig(saved, Config());
    EXPECT_EQ(saved.StatisticCount(), 3);
    EXPECT_EQ(saved.StatisticSize(), 10000 + 300000 + 50000);
    EXPECT_EQ(saved.LogFilePath(), m_Dir.filePath("upload.log").toStdString());
}

TEST_F(WindowTest, CloseDuringAnUploadAsksYesKeepsGoingNoCancelsAndSaves) {
    // Once any width is stored, every column comes back with its stored one (or 75).
    ASSERT_TRUE(modConfig::WriteIniValue(Config(), "Listview", "column_01", "80", true));
    testsupport::RawServer server; // answers the query, then holds every upload open
    const std::string answer = "size=100\r\nversion=1.00.0009\r\nnews=\r\n";
    server.Respond("HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(answer.size()) +
                   "\r\nConnection: close\r\n\r\n" + answer);
    server.Repeat({testsupport::Step::Stall()});
    auto window = Open(server.BaseUrl());
    ASSERT_TRUE(Ready(*window));
    QHeaderView* header = window->List()->header();
    EXPECT_EQ(QString("%1 %2").arg(header->sectionSize(0)).arg(header->sectionSize(1)), "80 75");
    window->showMaximized();
    header->resizeSection(0, 234);
    m_Dialogs.open = {File("held.bin", 1000)};
    window->MenuAction(Command::EditAdd)->trigger();
    m_Dialogs.save = m_Dir.filePath("upload.log");
    window->MenuAction(Command::UploadStart)->trigger();
    ASSERT_TRUE(window->Upload().Active());

    m_Dialogs.yesNo = modLanguage::ID_YES;
    EXPECT_FALSE(window->close());
    EXPECT_TRUE(window->isVisible() && window->Upload().Active() &&
                window->Queue().RunInProgress());
    EXPECT_EQ(m_Dialogs.messages, QStringList{Shown(modLanguage::MB_QUESTION_YESNO, 4)});
    m_Dialogs.yesNo = modLanguage::ID_NO;
    EXPECT_TRUE(window->close());
    EXPECT_FALSE(window->isVisible() || window->Upload().Active());
    EXPECT_EQ(m_Dialogs.messages.size(), 2);
    ConfigSettings saved;
    modConfig::LoadConfig(saved, Config());
    EXPECT_EQ(saved.WindowState(), 2);
    EXPECT_EQ(QString("%1 %2").arg(saved.ColumnWidth(0)).arg(saved.ColumnWidth(1)), "234 75");
    EXPECT_EQ(saved.Language(), "English");
}

TEST_F(WindowTest, ASecondStartHandsItsFileToTheFirstAndEnds) {
    QTemporaryDir runtime;
    SingleInstance first(runtime.path());
    ASSERT_TRUE(first.Acquire());
    auto window = Open(s_Service->BaseUrl());
    QObject::connect(&first, &SingleInstance::FilesReceived, window.get(),
                     [&](const QStringList& files) { window->AddFilesLater(files); });
    ASSERT_TRUE(Ready(*window));
    File("handed.txt", 100);

    QProcess second;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("XDG_RUNTIME_DIR", runtime.path());
    second.setProcessEnvironment(environment);
    second.setWorkingDirectory(m_Dir.path());
    second.start(QString::fromStdString(testsupport::BinPath("vostrand-uploader")), {"handed.txt"});
    ASSERT_TRUE(Until([&] { return second.state() == QProcess::NotRunning; }, 15000));
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0) << second.readAllStandardError().toStdString();
    EXPECT_TRUE(Until(
        [&] { return Column(*window, UploadColumn::FileName) == QStringList{"handed.txt"}; }));
}

// Also: minimised without a notification area, the window stays minimised, not hidden.
TEST_F(WindowTest, ARunThatEndsUnseenIsAnnouncedOnTheDesktop) {
    if (qEnvironmentVariableIsEmpty("VOSTRAND_PRIVATE_BUS")) {
        // Again, alone, on a session bus of its own.
        QProcess child;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("VOSTRAND_PRIVATE_BUS", "1");
        child.setProcessEnvironment(environment);
        child.setProcessChannelMode(QProcess::MergedChannels);
        child.start("dbus-run-session",
                    {"--", QCoreApplication::applicationFilePath(),
                     "--gtest_filter=WindowTest.ARunThatEndsUnseenIsAnnouncedOnTheDesktop"});
        ASSERT_TRUE(child.waitForFinished(90000));
        const std::string output = child.readAll().toStdString();
        EXPECT_EQ(child.exitCode(), 0) << output;
        EXPECT_NE(output.find("[  PASSED  ] 1 test"), std::string::npos) << output;
        return;
    }
    QDBusConnection bus =
        QDBusConnection::connectToBus(QDBusConnection::SessionBus, "notification-server");
    NotificationServer server;
    ASSERT_TRUE(bus.registerObject("/org/freedesktop/Notifications", &server,
                                   QDBusConnection::ExportAllSlots));
    ASSERT_TRUE(bus.registerService("org.freedesktop.Notifications"));
    ASSERT_FALSE(QSystemTrayIcon::isSystemTrayAvailable());

    auto window = Open(s_Service->BaseUrl());
    ASSERT_TRUE(Ready(*window));
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    m_Dialogs.save = m_Dir.filePath("upload.log");
    const auto run = [&](const QString& file) {
        m_Dialogs.open = {file};
        window->MenuAction(Command::EditAdd)->trigger();
        window->MenuAction(Command::UploadStart)->trigger();
        return Until([&] { return !window->Queue().RunInProgress(); }, 30000);
    };
    ASSERT_TRUE(run(File("seen.txt", 100))); // in front of the user: no notification
    window->showMinimized();
    ASSERT_TRUE(run(File("unseen.txt", 100)));
    ASSERT_TRUE(Until([&] { return !server.shown.isEmpty(); }));
    QTest::qWait(100);
    EXPECT_EQ(server.shown, QStringList({"Vostrand-Uploader: 1 uploaded, 0 failed"}));
    EXPECT_TRUE(window->isMinimized() && window->isVisible());
    EXPECT_EQ(window->TrayIcon(), nullptr);
    EXPECT_EQ(m_Settings.WindowState(), 0);
}

} // namespace

#include "test_frmMain.moc"
