#pragma once
// frmMain: the program's one main window. It realises the window toolkit contract with widgets
// and forwards the user's commands to the queue logic (UploadQueue), which decides everything
// about the list, the run and the availability of the commands; the window only shows it.
//
// Owns the upload object, the queue (and through it the list and the information query), the
// list model, the one-second timer and, while minimised, the notification-area icon. The
// settings, the text lists and the dialog answerer are handed in and must outlive the window.
// Creation loads the settings, applies the language and sends the information query; closing
// asks while an upload runs and saves the settings.
#include "DialogAnswerer.h"

#include "platform/Format.h"
#include "platform/qt/QtSocket.h"
#include "settings/modLanguage.h"
#include "ui/Commands.h"
#include "ui/UploadQueue.h"
#include "ui/WindowToolkit.h"
#include "upload/clsUpload.h"

#include <QHash>
#include <QIcon>
#include <QMainWindow>
#include <QStringList>
#include <QTimer>

#include <array>
#include <memory>
#include <string>

class ConfigSettings;
class QAction;
class QActionGroup;
class QLabel;
class QMenu;
class QProgressBar;
class QSystemTrayIcon;
class QToolBar;
class UploadListModel;
class UploadListView;

struct frmMainSetup {
    ConfigSettings& settings;
    modLanguage::TextLists& texts;
    std::string configFile;     // loaded at creation, saved at unload
    std::string languageFolder; // the "*.ini" files of the language menu
    std::string baseUrl;        // the service
    NumberFormat format;
    // null: the real message boxes and file dialogs.
    DialogAnswerer* dialogs = nullptr;
    // The connections of the engine and the information query (the extra trusted authorities
    // of a private service are in it).
    SocketFactory sockets = QtSocketFactory();
};

class frmMain : public QMainWindow, public WindowToolkit {
    Q_OBJECT
public:
    explicit frmMain(const frmMainSetup& setup, QWidget* parent = nullptr);
    ~frmMain() override;

    // The program's icon: the installed theme's, else our own.
    static QIcon ProgramIcon();

    // Files handed to the window from outside (the command line, a second start): added as if
    // dropped, once dropping is allowed.
    void AddFilesLater(const QStringList& paths);

    // Reads section "Main" of the active language file into every caption, tooltip, template and
    // header, reloads the numbered texts and refreshes the counter panels.
    void ApplyLanguage();

    void ShowOptions();
    void ShowAbout();
    void ShowNews();
    // The active language file, as the dialogs read it.
    std::string LanguageFile() const;

    // --- for tests and benchmarks: the widgets as the user meets them ------------------------
    UploadQueue& Queue() { return m_Queue; }
    const clsUpload& Upload() const { return objUpload; }
    UploadListView* List() const { return lvwMain; }
    UploadListModel* Model() const { return m_Model; }
    QAction* MenuAction(Command command) const;
    QAction* ButtonAction(Command command) const;
    QToolBar* Toolbar() const { return tbrMain; }
    QMenu* LanguageMenu() const { return mnuExtrasLanguage; }
    QList<QAction*> LanguageEntries() const;
    QLabel* Panel(int index) const { return m_Panels.at(static_cast<size_t>(index)); }
    QProgressBar* RunProgressBar() const { return m_RunProgress; }
    QSystemTrayIcon* TrayIcon() const { return m_Tray; }

    // --- WindowToolkit --------------------------------------------------------------------------
    void SetMenuEnabled(Command command, bool enabled) override;
    void SetButtonEnabled(Command command, bool enabled) override;
    std::vector<int32_t> SelectedRows() const override;
    void SelectAllRows() override;
    void ClearCurrentRow() override;
    void SetRedraw(bool enabled) override;
    void SetDropEnabled(bool enabled) override;
    bool LoadExtensionIcon(const std::string& key) override;
    void SetPanelText(const std::string& key, const std::string& text) override;
    int32_t ShowMessage(const std::string& text, int32_t flags) override;
    std::optional<std::string> InputBox(const std::string& prompt,
                                        const std::string& title) override;
    std::vector<std::string> ShowOpenDialog(const std::string& initialFolder) override;
    std::string ShowSaveDialog(const std::string& initialName, const std::string& initialFolder,
                               const std::string& defaultExtension) override;
    void SetClipboardText(const std::string& text) override;
    void OpenUrl(const std::string& url) override;
    void SetTimerEnabled(bool enabled) override;
    void Post(std::function<void()> work) override;

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void CreateMenus();
    void CreateToolbar();
    void CreateList();
    void CreateStatusBar();
    void LoadLanguageMenu();
    void SwitchLanguage(QAction* entry);
    void RunCommand(Command command);
    void AddPendingFiles();
    void UpdateRunProgress();
    void OnRunEnded();
    void MinimiseToTray();
    void RestoreFromTray();
    void Unload();

    ConfigSettings& m_Settings;
    modLanguage::TextLists& m_Texts;
    std::string m_ConfigFile;
    std::string m_LanguageFolder;
    std::string m_BaseUrl;
    SocketFactory m_Sockets;
    NumberFormat m_Format;
    std::unique_ptr<DialogAnswerer> m_OwnDialogs;
    DialogAnswerer* m_Dialogs;

    clsUpload objUpload;
    UploadQueue m_Queue;

    // Menu entries by name (submenus by their menu action), and the command ones by command.
    QHash<QString, QAction*> m_MenuItems;
    std::array<QAction*, Commands.size()> m_CommandActions{};
    std::array<QAction*, Commands.size()> m_ButtonActions{};
    QMenu* mnuExtrasLanguage = nullptr;
    QAction* mnuExtrasSeperator01 = nullptr;
    QActionGroup* m_LanguageGroup = nullptr;
    QToolBar* tbrMain = nullptr;
    UploadListView* lvwMain = nullptr;
    UploadListModel* m_Model = nullptr;
    std::array<QLabel*, 5> m_Panels{};
    QProgressBar* m_RunProgress = nullptr;
    QTimer tmrUpload;
    QSystemTrayIcon* m_Tray = nullptr;
    QStringList m_PendingFiles;
    bool m_Unloaded = false;
};
