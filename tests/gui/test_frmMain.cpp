// The main window as real widgets (offscreen) against vostrand-service and scripted servers on
// loopback. Dialogs are answered by a script through the window's answerer, so no test runs a
// modal loop.
#include "gui/SingleInstance.h"
#include "gui/UploadListModel.h"
#include "gui/UploadListView.h"
#include "gui/frmMain.h"

#include "ScriptedServer.h"
#include "ServiceProcess.h"

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
#include <QProcess>
#include <QProgressBar>
#include <QSystemTrayIcon>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrl>

#include <gtest/gtest.h>

#include <deque>
#include <fstream>
#include <set>

// Readable failures for Qt's strings.
void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}
void PrintTo(const QStringList& list, std::ostream* out) {
    *out << '[' << list.join(", ").toStdString() << ']';
}

void PrintTo(Command command, std::ostream* out) {
    *out << InfoOf(command).menuName;
}

namespace {

struct ScriptedDialogs : DialogAnswerer {
    struct Shown {
        QString text;
        int32_t flags;
    };
    std::vector<Shown> messages;
    std::deque<int32_t> messageAnswers; // none left: OK, or No for a question
    std::deque<QStringList> openAnswers;
    std::deque<QString> saveAnswers;

    int32_t Message(QWidget*, const QString&, const QString& text, int32_t flags) override {
        messages.push_back({text, flags});
        if (messageAnswers.empty()) {
            return flags == modLanguage::MB_QUESTION_YESNO ? modLanguage::ID_NO : 1;
        }
        const int32_t answer = messageAnswers.front();
        messageAnswers.pop_front();
        return answer;
    }
    std::optional<QString> Input(QWidget*, const QString&, const QString&) override {
        return std::nullopt;
    }
    QStringList OpenFiles(QWidget*, const QString&) override { return Take(openAnswers); }
    QString SaveFile(QWidget*, const QString&, const QString&, const QString&) override {
        return Take(saveAnswers);
    }
    template <typename T> static T Take(std::deque<T>& answers) {
        if (answers.empty()) {
            return {};
        }
        T answer = answers.front();
        answers.pop_front();
        return answer;
    }
};

// Stands in for the desktop's notification server on a private session bus.
class NotificationServer : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    QStringList summaries, bodies;
public slots:
    uint Notify(const QString&, uint, const QString&, const QString& summary, const QString& body,
                const QStringList&, const QVariantMap&, int) {
        summaries << summary;
        bodies << body;
        return static_cast<uint>(bodies.size());
    }
};

const std::set<Command> AllCommands = [] {
    std::set<Command> all;
    for (const CommandInfo& info : Commands) {
        all.insert(info.command);
    }
    return all;
}();

// A base URL where nothing listens.
std::string DeadUrl() {
    QTcpServer server;
    server.listen(QHostAddress::LocalHost, 0);
    return "http://127.0.0.1:" + std::to_string(server.serverPort()) + "/";
}

class WindowTest : public testing::Test {
protected:
    static void SetUpTestSuite() { s_Service = new testsupport::ServiceProcess(); }
    static void TearDownTestSuite() {
        delete s_Service;
        s_Service = nullptr;
    }

    void SetUp() override {
        ASSERT_TRUE(s_Service->Ok());
        ASSERT_TRUE(m_Dir.isValid());
        ASSERT_TRUE(modConfig::WriteIniValue(ConfigFile(), "Main", "language", "English", true));
    }

    std::string ConfigFile() const { return m_Dir.filePath("config.ini").toStdString(); }

    std::unique_ptr<frmMain>
    Open(const std::string& baseUrl,
         const std::string& languageFolder = std::string(VOSTRAND_BIN_DIR) + "/language/") {
        frmMainSetup setup{m_Settings, m_Texts,        ConfigFile(), languageFolder,
                           baseUrl,    NumberFormat{}, &m_Dialogs};
        auto window = std::make_unique<frmMain>(setup);
        // Every insert and remove of the test is checked against the model's contract.
        m_Tester = std::make_unique<QAbstractItemModelTester>(
            window->Model(), QAbstractItemModelTester::FailureReportingMode::Fatal);
        window->show();
        return window;
    }

    static bool WaitForInfo(const frmMain& window) {
        return QTest::qWaitFor([&] { return window.MenuAction(Command::HelpAbout)->isEnabled(); },
                               15000);
    }

    QString MakeFile(const QString& name, int64_t size) const {
        const QString path = m_Dir.filePath(name);
        std::ofstream out(path.toStdString(), std::ios::binary);
        for (int64_t i = 0; i < size; ++i) {
            out.put(static_cast<char>('a' + i % 26));
        }
        return path;
    }

    static void Drop(frmMain& window, const QStringList& paths) {
        QMimeData data;
        QList<QUrl> urls;
        for (const QString& path : paths) {
            urls << QUrl::fromLocalFile(path);
        }
        data.setUrls(urls);
        // As a file manager's drag arrives: the drop goes to whoever accepted the enter.
        QWidget* target = window.List()->viewport();
        QDragEnterEvent enter(target->rect().center(), Qt::CopyAction, &data, Qt::LeftButton,
                              Qt::NoModifier);
        QApplication::sendEvent(target, &enter);
        QDropEvent drop(QPointF(target->rect().center()), Qt::CopyAction, &data, Qt::LeftButton,
                        Qt::NoModifier);
        QApplication::sendEvent(target, &drop);
    }

    static QStringList Keys(frmMain& window) {
        QStringList keys;
        for (const auto& row : window.Queue().List()) {
            keys << QString::fromStdString(row->FilePath);
        }
        return keys;
    }

    static void Select(frmMain& window, std::initializer_list<int> rows) {
        auto* selection = window.List()->selectionModel();
        selection->clearSelection();
        for (int row : rows) {
            selection->select(window.Model()->index(row, 0),
                              QItemSelectionModel::Select | QItemSelectionModel::Rows);
        }
    }

    // The commands a user can reach: enabled, and (menu entries) inside enabled menus.
    static std::set<Command> Enabled(const frmMain& window, bool buttons) {
        std::set<Command> enabled;
        for (Command command : AllCommands) {
            QAction* action = buttons ? window.ButtonAction(command) : window.MenuAction(command);
            bool reachable = action != nullptr && action->isEnabled();
            for (QObject* holder :
                 action != nullptr ? action->associatedObjects() : QObjectList()) {
                if (auto* menu = qobject_cast<QMenu*>(holder)) {
                    reachable = reachable && menu->menuAction()->isEnabled();
                }
            }
            if (reachable) {
                enabled.insert(command);
            }
        }
        return enabled;
    }

    static testsupport::ServiceProcess* s_Service;
    QTemporaryDir m_Dir;
    ConfigSettings m_Settings;
    modLanguage::TextLists m_Texts;
    ScriptedDialogs m_Dialogs;
    std::unique_ptr<QAbstractItemModelTester> m_Tester;
};

testsupport::ServiceProcess* WindowTest::s_Service = nullptr;

// --- creation and the answer of the information query --------------------------------------

struct AnswerCase {
    const char* name;
    bool serviceAnswers;
    std::set<Command> menus;   // enabled once the answer has been handled
    std::set<Command> buttons; // likewise
    int warnings;              // message 1
};

void PrintTo(const AnswerCase& answer, std::ostream* out) {
    *out << answer.name;
}

class CreationTest : public WindowTest, public testing::WithParamInterface<AnswerCase> {};

TEST_P(CreationTest, OnlyExitAndLanguageUntilTheAnswerThenWhatTheAnswerUnlocks) {
    const AnswerCase& c = GetParam();
    auto window = Open(c.serviceAnswers ? s_Service->BaseUrl() : DeadUrl());

    EXPECT_EQ(Enabled(*window, false), std::set<Command>{Command::FileExit});
    EXPECT_EQ(Enabled(*window, true), std::set<Command>{});
    EXPECT_TRUE(window->LanguageMenu()->menuAction()->isEnabled());
    EXPECT_TRUE(window->LanguageMenu()->menuAction()->isVisible());
    EXPECT_FALSE(window->List()->DropEnabled());

    ASSERT_TRUE(WaitForInfo(*window));
    EXPECT_EQ(Enabled(*window, false), c.menus);
    EXPECT_EQ(Enabled(*window, true), c.buttons);
    EXPECT_EQ(window->List()->DropEnabled(), c.serviceAnswers);
    // The warning is shown once the answer's event has returned.
    (void)QTest::qWaitFor([&] { return static_cast<int>(m_Dialogs.messages.size()) >= c.warnings; },
                          5000);
    ASSERT_EQ(static_cast<int>(m_Dialogs.messages.size()), c.warnings);
    if (c.warnings > 0) {
        EXPECT_EQ(m_Dialogs.messages[0].text, QString::fromStdString(m_Texts.GetMessageText(1)));
        EXPECT_EQ(m_Dialogs.messages[0].flags, modLanguage::MB_WARNING_OK);
    }

    // The unlocked dialog commands open their dialogs modally, owned by the window.
    for (Command command : {Command::ExtrasOptions, Command::HelpAbout}) {
        if (!c.menus.count(command)) {
            continue;
        }
        QString opened;
        QTimer::singleShot(0, [&] {
            if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
                opened = dialog->objectName() + (dialog->parent() == window.get() ? "" : "?");
                dialog->reject();
            }
        });
        window->MenuAction(command)->trigger();
        EXPECT_EQ(opened, command == Command::HelpAbout ? "frmAbout" : "frmConfig");
    }
}

INSTANTIATE_TEST_SUITE_P(
    Answers, CreationTest,
    testing::Values(
        AnswerCase{"Success",
                   true,
                   {Command::FileExit, Command::EditAdd, Command::ExtrasOptions, Command::HelpNews,
                    Command::HelpAbout},
                   {Command::EditAdd, Command::HelpNews, Command::HelpAbout},
                   0},
        AnswerCase{
            "Failure", false, {Command::FileExit, Command::HelpAbout}, {Command::HelpAbout}, 1}),
    [](const testing::TestParamInfo<AnswerCase>& info) { return info.param.name; });

// A file that captions the language entries gives them all one caption; the switch still
// finds the file of the entry clicked.
TEST_F(WindowTest, ALanguageEntryKeepsItsFileWhateverItsCaption) {
    const QString folder = m_Dir.filePath("language");
    ASSERT_TRUE(QDir().mkpath(folder));
    for (const char* name : {"Alpha", "Beta"}) {
        const std::string file = (folder + "/" + name + ".ini").toStdString();
        ASSERT_TRUE(modConfig::WriteIniValue(file, "Main", "Window.Caption", name, true));
        ASSERT_TRUE(modConfig::WriteIniValue(
            file, "Main", "Menu(\"mnuExtrasLanguageList\").Caption", "Sprache", true));
    }
    auto window = Open(DeadUrl(), folder.toStdString());
    const QList<QAction*> entries = window->LanguageEntries();
    ASSERT_EQ(entries.size(), 2);
    EXPECT_EQ(entries[0]->text() + entries[1]->text(), "SpracheSprache");
    entries[1]->trigger();
    EXPECT_EQ(m_Settings.Language(), "Beta");
    EXPECT_EQ(window->windowTitle(), "Beta");
}

TEST_F(WindowTest, ALanguageEntrySwitchesEveryTextAtOnce) {
    auto window = Open(s_Service->BaseUrl());
    ASSERT_TRUE(WaitForInfo(*window));
    QStringList entries;
    QAction* deutsch = nullptr;
    for (QAction* entry : window->LanguageEntries()) {
        entries << entry->text();
        if (entry->text() == "Deutsch") {
            deutsch = entry;
        }
        EXPECT_EQ(entry->isChecked(), entry->text() == "English");
    }
    ASSERT_EQ(entries, QStringList({"Deutsch", "English"}));
    EXPECT_EQ(window->windowTitle(), "Vostrand-Uploader");
    EXPECT_EQ(window->MenuAction(Command::EditAdd)->text(), "&Add...");
    EXPECT_EQ(window->Model()->headerData(0, Qt::Horizontal).toString(), "File name");
    EXPECT_EQ(window->Panel(1)->text(), "Files: 0");

    deutsch->trigger();
    EXPECT_TRUE(deutsch->isChecked());
    EXPECT_EQ(m_Settings.Language(), "Deutsch");
    const std::string file = std::string(VOSTRAND_BIN_DIR) + "/language/Deutsch.ini";
    auto text = [&](const std::string& key) {
        return QString::fromStdString(modConfig::ReadIniValue(file, "Main", key, ""));
    };
    EXPECT_EQ(window->MenuAction(Command::EditAdd)->text(), text("Menu(\"mnuEditAdd\").Caption"));
    EXPECT_EQ(window->ButtonAction(Command::UploadStart)->toolTip(),
              text("Toolbar.Button(\"upload\").Tooltip"));
    EXPECT_EQ(window->Model()->headerData(12, Qt::Horizontal).toString(),
              text("Listview.Column(13).Text"));
    EXPECT_EQ(window->Panel(2)->text(),
              text("Statusbar.Panel(\"upload_maxfilesize\").Text").replace("%1", "100"));
    EXPECT_EQ(m_Texts.GetStatusText(1), text("Status(1)").toStdString());
}

// --- a whole run ----------------------------------------------------------------------------

TEST_F(WindowTest, AddsDropsRunsCopiesAndRemovesAgainstTheService) {
    const QString a = MakeFile("a.txt", 10000);
    const QString b = MakeFile("b.bin", 300000);
    const QString c = MakeFile("c.dat", 50000);
    auto window = Open(s_Service->BaseUrl());
    ASSERT_TRUE(WaitForInfo(*window));

    m_Dialogs.openAnswers.push_back({a, b});
    window->ButtonAction(Command::EditAdd)->trigger();
    Drop(*window, {c});
    Drop(*window, {a}); // already listed
    ASSERT_EQ(Keys(*window), QStringList({a, b, c}));
    ASSERT_EQ(m_Dialogs.messages.size(), 1u);
    EXPECT_TRUE(m_Dialogs.messages[0].text.contains("a.txt"))
        << m_Dialogs.messages[0].text.toStdString();
    EXPECT_EQ(window->Panel(1)->text(), "Files: 3");
    EXPECT_TRUE(window->ButtonAction(Command::UploadStart)->isEnabled());

    m_Dialogs.saveAnswers.push_back(m_Dir.filePath("upload.log"));
    window->ButtonAction(Command::UploadStart)->trigger();
    EXPECT_TRUE(window->RunProgressBar()->isVisibleTo(window.get()));
    EXPECT_FALSE(window->MenuAction(Command::EditAdd)->isEnabled());
    EXPECT_FALSE(window->List()->DropEnabled());
    const int status = static_cast<int>(UploadColumn::Status);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            for (int row = 0; row < 3; ++row) {
                if (window->Model()->index(row, status).data(UploadListModel::RawValueRole) !=
                    static_cast<int>(RowState::Complete)) {
                    return false;
                }
            }
            return !window->Queue().RunInProgress();
        },
        30000));
    EXPECT_FALSE(window->RunProgressBar()->isVisibleTo(window.get()));
    EXPECT_TRUE(window->MenuAction(Command::EditAdd)->isEnabled());

    const int url = static_cast<int>(UploadColumn::DownloadUrl);
    const QString urlA = window->Model()->index(0, url).data().toString();
    const QString urlC = window->Model()->index(2, url).data().toString();
    EXPECT_TRUE(urlA.startsWith(QString::fromStdString(s_Service->BaseUrl())))
        << urlA.toStdString();
    EXPECT_TRUE(urlA.endsWith("/a.txt")) << urlA.toStdString();
    Select(*window, {2, 0}); // in click order; the links come in list order
    window->MenuAction(Command::EditCopyUrls)->trigger();
    EXPECT_EQ(QApplication::clipboard()->text(), urlA + "\r\n" + urlC);

    window->MenuAction(Command::EditRemove)->trigger();
    EXPECT_EQ(Keys(*window), QStringList({b}));
    EXPECT_EQ(window->Panel(1)->text(), "Files: 1");

    EXPECT_TRUE(window->close());
    ConfigSettings saved;
    modConfig::LoadConfig(saved, ConfigFile());
    EXPECT_EQ(saved.StatisticCount(), 3);
    EXPECT_EQ(saved.StatisticSize(), 10000 + 300000 + 50000);
    EXPECT_EQ(saved.LogFilePath(), m_Dir.filePath("upload.log").toStdString());
}

// --- closing during an upload -----------------------------------------------------------------

TEST_F(WindowTest, CloseDuringAnUploadAsksYesKeepsGoingNoCancelsAndSaves) {
    // Widths stored by an earlier close; the column not touched here keeps its stored one.
    ASSERT_TRUE(modConfig::WriteIniValue(ConfigFile(), "Listview", "column_01", "80", true));
    // Answers the query, then holds every upload request open.
    testsupport::ScriptedServer server;
    const std::string answer = "size=100\r\nversion=1.00.0009\r\nnews=\r\n";
    server.Respond("HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(answer.size()) +
                   "\r\nConnection: close\r\n\r\n" + answer);
    server.Repeat({testsupport::Step::Hang()});
    auto window = Open(server.BaseUrl());
    ASSERT_TRUE(WaitForInfo(*window));
    window->showMaximized();
    window->List()->header()->resizeSection(0, 234);
    m_Dialogs.openAnswers.push_back({MakeFile("held.bin", 1000)});
    window->MenuAction(Command::EditAdd)->trigger();
    m_Dialogs.saveAnswers.push_back(m_Dir.filePath("upload.log"));
    window->MenuAction(Command::UploadStart)->trigger();
    ASSERT_TRUE(window->Upload().Active());

    m_Dialogs.messageAnswers = {modLanguage::ID_YES};
    EXPECT_FALSE(window->close());
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(window->Upload().Active());
    EXPECT_TRUE(window->Queue().RunInProgress());
    ASSERT_EQ(m_Dialogs.messages.size(), 1u);
    EXPECT_EQ(m_Dialogs.messages[0].text, QString::fromStdString(m_Texts.GetMessageText(4)));
    EXPECT_EQ(m_Dialogs.messages[0].flags, modLanguage::MB_QUESTION_YESNO);

    m_Dialogs.messageAnswers = {modLanguage::ID_NO};
    EXPECT_TRUE(window->close());
    EXPECT_FALSE(window->isVisible());
    EXPECT_FALSE(window->Upload().Active());
    EXPECT_EQ(m_Dialogs.messages.size(), 2u);
    ConfigSettings saved;
    modConfig::LoadConfig(saved, ConfigFile());
    EXPECT_EQ(saved.WindowState(), 2);
    EXPECT_EQ(saved.ColumnWidth(0), 234);
    EXPECT_EQ(saved.ColumnWidth(1), 75);
    EXPECT_EQ(saved.Language(), "English");
}

TEST_F(WindowTest, MinimisedWithoutANotificationAreaStaysMinimised) {
    ASSERT_FALSE(QSystemTrayIcon::isSystemTrayAvailable());
    auto window = Open(s_Service->BaseUrl());
    window->showMinimized();
    QTest::qWait(50);
    EXPECT_TRUE(window->isMinimized());
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->TrayIcon(), nullptr);
    EXPECT_EQ(m_Settings.WindowState(), 0);
}

// --- one instance -----------------------------------------------------------------------------

TEST_F(WindowTest, ASecondStartHandsItsFileToTheFirstAndEnds) {
    QTemporaryDir runtime;
    SingleInstance first(runtime.path());
    ASSERT_TRUE(first.Acquire());
    auto window = Open(s_Service->BaseUrl());
    QObject::connect(&first, &SingleInstance::FilesReceived, window.get(),
                     [&](const QStringList& files) { window->AddFilesLater(files); });
    ASSERT_TRUE(WaitForInfo(*window));
    const QString file = MakeFile("handed.txt", 100);

    QProcess second;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("XDG_RUNTIME_DIR", runtime.path());
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    second.setProcessEnvironment(environment);
    second.setWorkingDirectory(m_Dir.path());
    second.start(QString(VOSTRAND_BIN_DIR) + "/vostrand-uploader", {"handed.txt"});
    ASSERT_TRUE(QTest::qWaitFor([&] { return second.state() == QProcess::NotRunning; }, 15000));
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0) << second.readAllStandardError().toStdString();
    ASSERT_TRUE(QTest::qWaitFor([&] { return Keys(*window) == QStringList({file}); }, 5000));
}

// --- the run-end notification -----------------------------------------------------------------

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
        const QString output = QString::fromUtf8(child.readAll());
        EXPECT_EQ(child.exitCode(), 0) << output.toStdString();
        EXPECT_TRUE(output.contains("[  PASSED  ] 1 test")) << output.toStdString();
        return;
    }
    QDBusConnection bus =
        QDBusConnection::connectToBus(QDBusConnection::SessionBus, "notification-server");
    ASSERT_TRUE(bus.isConnected());
    NotificationServer server;
    ASSERT_TRUE(bus.registerObject("/org/freedesktop/Notifications", &server,
                                   QDBusConnection::ExportAllSlots));
    ASSERT_TRUE(bus.registerService("org.freedesktop.Notifications"));

    auto window = Open(s_Service->BaseUrl());
    ASSERT_TRUE(WaitForInfo(*window));
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    auto run = [&](const QString& file) {
        m_Dialogs.openAnswers.push_back({file});
        window->MenuAction(Command::EditAdd)->trigger();
        m_Dialogs.saveAnswers.push_back(m_Dir.filePath("upload.log"));
        window->MenuAction(Command::UploadStart)->trigger();
        return QTest::qWaitFor([&] { return !window->Queue().RunInProgress(); }, 30000);
    };
    ASSERT_TRUE(run(MakeFile("seen.txt", 100))); // in front of the user: no notification
    window->showMinimized();
    ASSERT_TRUE(run(MakeFile("unseen.txt", 100)));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !server.bodies.isEmpty(); }, 10000));
    QTest::qWait(100);
    EXPECT_EQ(server.bodies, QStringList({"1 uploaded, 0 failed"}));
    EXPECT_EQ(server.summaries, QStringList({"Vostrand-Uploader"}));
    bus.unregisterService("org.freedesktop.Notifications");
    QDBusConnection::disconnectFromBus("notification-server");
}

} // namespace

#include "test_frmMain.moc"
