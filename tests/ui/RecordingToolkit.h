#pragma once
// A window toolkit for tests: remembers command states, panel texts, messages and the clipboard,
// answers boxes and dialogs from what the test put in, and runs posted work when told to.
#include "ui/WindowToolkit.h"
#include "upload/UploadItem.h"

#include <deque>
#include <map>
#include <set>
#include <utility>

class RecordingToolkit : public WindowToolkit {
public:
    struct Message {
        std::string text;
        int32_t flags;
    };

    // --- what the logic did ---------------------------------------------------------------
    std::map<std::string, bool> menus, buttons; // last state per menu name / toolbar key
    std::map<std::string, std::string> panels;
    std::vector<Message> messages;
    std::vector<std::string> prompts; // "prompt|title"
    std::vector<std::string> clipboard, openedUrls, iconRequests;
    std::string saveDialogName, saveDialogFolder, openDialogFolder;
    int32_t rowCount = 0, redrawOffCount = 0;
    bool redraw = true, timer = false, drop = false, currentRowCleared = false;
    std::vector<std::function<void()>> posted;

    // --- what the user answers ------------------------------------------------------------
    std::set<int32_t> selection;
    std::deque<int32_t> messageAnswers;                  // 1 (OK) when empty
    std::deque<std::optional<std::string>> inputAnswers; // cancelled when empty
    std::vector<std::string> openAnswer;
    std::string saveAnswer;
    std::set<std::string> iconsAvailable; // keys the "shell" has an icon for; empty: all
    std::function<void()> duringMessage;  // runs once while the next message box is open

    bool Menu(const std::string& name) const { return menus.count(name) && menus.at(name); }
    bool Button(const std::string& key) const { return buttons.count(key) && buttons.at(key); }
    std::string Panel(const std::string& key) const {
        return panels.count(key) ? panels.at(key) : "<unset>";
    }
    // Runs posted work until none is left, as the event loop would.
    void RunPosted() {
        while (!posted.empty()) {
            auto work = std::move(posted.front());
            posted.erase(posted.begin());
            work();
        }
    }

    // Follows the list as a view does: counts its rows, keeps the selection on the same rows
    // and records which rows changed.
    void Watch(UploadList& list) {
        list.Inserted = [this](int32_t) { ++rowCount; };
        list.Removed = [this](int32_t index) {
            --rowCount;
            std::set<int32_t> shifted;
            for (int32_t row : selection) {
                if (row != index) {
                    shifted.insert(row > index ? row - 1 : row);
                }
            }
            selection = std::move(shifted);
        };
        list.Changed = [this](int32_t index, ColumnSet columns) {
            changed.push_back({index, columns});
        };
    }
    std::vector<std::pair<int32_t, ColumnSet>> changed;

    void SetMenuEnabled(Command command, bool enabled) override {
        menus[InfoOf(command).menuName] = enabled;
    }
    void SetButtonEnabled(Command command, bool enabled) override {
        buttons[InfoOf(command).toolbarKey] = enabled;
    }
    // In click order, the last clicked first, as a view may hand them.
    std::vector<int32_t> SelectedRows() const override {
        return {selection.rbegin(), selection.rend()};
    }
    void SelectAllRows() override {
        for (int32_t i = 0; i < rowCount; ++i) {
            selection.insert(i);
        }
    }
    void ClearCurrentRow() override { currentRowCleared = true; }
    void SetRedraw(bool enabled) override {
        redraw = enabled;
        redrawOffCount += enabled ? 0 : 1;
    }
    void SetDropEnabled(bool enabled) override { drop = enabled; }
    bool LoadExtensionIcon(const std::string& key) override {
        iconRequests.push_back(key);
        return iconsAvailable.empty() || iconsAvailable.count(key) > 0;
    }
    void SetPanelText(const std::string& key, const std::string& text) override {
        panels[key] = text;
    }
    int32_t ShowMessage(const std::string& text, int32_t flags) override {
        messages.push_back({text, flags});
        if (duringMessage) {
            std::exchange(duringMessage, nullptr)(); // what the nested loop of a modal box ran
        }
        return Take(messageAnswers).value_or(1);
    }
    std::optional<std::string> InputBox(const std::string& prompt,
                                        const std::string& title) override {
        prompts.push_back(prompt + "|" + title);
        return Take(inputAnswers).value_or(std::nullopt);
    }
    std::vector<std::string> ShowOpenDialog(const std::string& initialFolder) override {
        openDialogFolder = initialFolder;
        return openAnswer;
    }
    std::string ShowSaveDialog(const std::string& initialName, const std::string& initialFolder,
                               const std::string&) override {
        saveDialogName = initialName;
        saveDialogFolder = initialFolder;
        return saveAnswer;
    }
    void SetClipboardText(const std::string& text) override { clipboard.push_back(text); }
    void OpenUrl(const std::string& url) override { openedUrls.push_back(url); }
    void SetTimerEnabled(bool enabled) override { timer = enabled; }
    void Post(std::function<void()> work) override { posted.push_back(std::move(work)); }

private:
    template <typename T> static std::optional<T> Take(std::deque<T>& answers) {
        if (answers.empty()) {
            return std::nullopt;
        }
        T answer = std::move(answers.front());
        answers.pop_front();
        return answer;
    }
};
