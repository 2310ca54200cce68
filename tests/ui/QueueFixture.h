#pragma once
// The queue logic over the real engine on fake sockets. The fixture is the window: it records
// what the logic shows, answers boxes and dialogs from what the test put in and holds posted
// work until RunPosted(); the test plays the service and ticks the timer itself.
#include "support/FakeSocket.h"
#include "support/Fixed.h"
#include "support/Support.h"

#include "settings/modConfig.h"
#include "ui/UploadQueue.h"
#include "upload/clsUpload.h"

#include <gtest/gtest.h>

#include <deque>
#include <filesystem>
#include <map>
#include <set>

namespace uitest {

constexpr int64_t MB = 1048576;
using Strings = std::vector<std::string>;

class QueueTest : public ::testing::Test, public WindowToolkit {
protected:
    QueueTest() {
        texts.SetMessageTexts({"M1 Info fehlgeschlagen", "M2 {%1} schon da", "M3 {%1} > {%2} MB",
                               "M4 Upload läuft", "M5 {%1}: {%2}", "M6 Neue Version"});
        texts.SetInputTexts({"I1", "I2", "I3"});
        queue->SetService({100 * MB, "", ""});
        queue->objInfo_Complete(true);
        for (const char* key :
             {"file_count", "upload_maxfilesize", "upload_traffic", "upload_count"})
            queue->Status().SetTemplate(key, std::string(key) + ": %1");
    }
    ~QueueTest() override { posted.clear(); } // may hold objects that use the settings

    std::string Path(const std::string& name) const {
        return dir.filePath(name.c_str()).toStdString();
    }
    std::string File(const std::string& name, int64_t size = 10) { // sparse
        const std::string path = testsupport::WriteFile(dir, name, "");
        std::filesystem::resize_file(path, static_cast<std::uintmax_t>(size));
        return path;
    }
    void Add(const Strings& paths) { // one batch of the open dialog
        openAnswer = paths;
        queue->AddFiles();
    }
    UploadItem& Row(int32_t index) { return *queue->List().At(index); }
    std::string Rows(std::string UploadItem::*field = &UploadItem::FileName) const {
        std::string text;
        for (const auto& row : queue->List())
            text += (*row).*field + ",";
        return text;
    }
    // Menus, then buttons, per command in enum order (Exit, Add, Remove, Publish, Yes, No, the
    // three values, CopyUrls, SelectAll, Start, Cancel, Options, News, About): "1" on, "0" off,
    // "-" never set; then drops and the timer.
    std::string State() const {
        return menus + " " + buttons + " " + std::to_string(drop) + std::to_string(timer);
    }
    void RunPosted() {
        for (; !posted.empty(); posted.pop_front())
            std::function<void()>(std::move(posted.front()))();
    }

    std::string menus = std::string(Commands.size(), '-'), buttons = menus;
    std::map<std::string, std::string> panels;
    Strings messages, prompts, clipboard, openedUrls;
    std::string saveDialog; // "name in folder"
    bool timer = false, drop = false;
    std::deque<std::function<void()>> posted;
    // What the user answers.
    std::set<int32_t> selection;
    std::deque<int32_t> answers;                   // message box buttons; OK (1) when none left
    std::deque<std::optional<std::string>> inputs; // cancelled when none left
    Strings openAnswer;
    std::string saveAnswer;
    std::function<void()> duringMessage; // runs while the next message box is open

    void SetMenuEnabled(Command c, bool on) override { menus[size_t(c)] = on ? '1' : '0'; }
    void SetButtonEnabled(Command c, bool on) override { buttons[size_t(c)] = on ? '1' : '0'; }
    std::vector<int32_t> SelectedRows() const override { // the last clicked first
        return {selection.rbegin(), selection.rend()};
    }
    void SelectAllRows() override {
        for (int32_t i = 0; i < queue->List().Count(); ++i)
            selection.insert(i);
    }
    void ClearCurrentRow() override {}
    void SetRedraw(bool) override {}
    void SetDropEnabled(bool on) override { drop = on; }
    bool LoadExtensionIcon(const std::string&) override { return true; }
    void SetPanelText(const std::string& key, const std::string& text) override {
        panels[key] = text;
    }
    int32_t ShowMessage(const std::string& text, int32_t flags) override {
        messages.push_back(text + " /" + std::to_string(flags));
        if (duringMessage)
            std::exchange(duringMessage, nullptr)();
        const int32_t answer = answers.empty() ? 1 : answers.front();
        if (!answers.empty())
            answers.pop_front();
        return answer;
    }
    std::optional<std::string> InputBox(const std::string& prompt,
                                        const std::string& title) override {
        prompts.push_back(prompt + "|" + title);
        auto input = inputs.empty() ? std::nullopt : inputs.front();
        if (!inputs.empty())
            inputs.pop_front();
        return input;
    }
    Strings ShowOpenDialog(const std::string&) override { return openAnswer; }
    std::string ShowSaveDialog(const std::string& name, const std::string& folder,
                               const std::string&) override {
        saveDialog = name + " in " + folder;
        return saveAnswer;
    }
    void SetClipboardText(const std::string& text) override { clipboard.push_back(text); }
    void OpenUrl(const std::string& url) override { openedUrls.push_back(url); }
    void SetTimerEnabled(bool on) override { timer = on; }
    void Post(std::function<void()> work) override { posted.push_back(std::move(work)); }

    QTemporaryDir dir;
    ConfigSettings settings;
    modLanguage::TextLists texts = testsupport::GermanTexts();
    NumberFormat format = testsupport::GermanFormat();
    testsupport::FixedClock clock;
    std::vector<testsupport::FakeSocket*> sockets;
    std::unique_ptr<clsUpload> upload = std::make_unique<clsUpload>(
        settings, texts, format, testsupport::FakeSocketFactory(&sockets), clock);
    std::unique_ptr<UploadQueue> queue =
        std::make_unique<UploadQueue>(*this, settings, texts, format, *upload);
};

} // namespace uitest
