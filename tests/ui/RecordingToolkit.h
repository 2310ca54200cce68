#pragma once
// A window toolkit for tests: remembers every command state, panel text, message and clipboard
// text, answers boxes and dialogs from queues the test fills, and runs posted work when the
// test says so.
#include "ui/WindowToolkit.h"

#include <deque>
#include <map>
#include <set>

class RecordingToolkit : public WindowToolkit {
public:
    struct Message {
        std::string text;
        int32_t flags;
    };

    // --- what the logic did ---------------------------------------------------------------
    std::map<std::string, bool> menus;   // last state per menu name
    std::map<std::string, bool> buttons; // last state per toolbar key
    std::map<std::string, std::string> panels;
    std::vector<Message> messages;
    std::vector<std::string> prompts;
    std::vector<std::string> clipboard; // every text put there, in order
    std::vector<std::string> openedUrls;
    std::vector<std::string> iconRequests;
    std::string saveDialogName, saveDialogFolder, openDialogFolder;
    int32_t rowCount = 0; // follows RowInserted/RowRemoved
    int32_t redrawOffCount = 0;
    bool redraw = true;
    bool timer = false;
    bool drop = false;
    bool currentRowCleared = false;

    // --- what the user answers ------------------------------------------------------------
    std::set<int32_t> selection;
    std::deque<int32_t> messageAnswers;                  // default 1 (OK) when empty
    std::deque<std::optional<std::string>> inputAnswers; // default: cancelled
    std::vector<std::string> openAnswer;
    std::string saveAnswer;
    std::set<std::string> iconsAvailable; // keys the "shell" has an icon for; empty: all

    std::vector<std::function<void()>> posted;

    bool Menu(const std::string& name) const {
        auto it = menus.find(name);
        return it != menus.end() && it->second;
    }
    bool Button(const std::string& key) const {
        auto it = buttons.find(key);
        return it != buttons.end() && it->second;
    }
    std::string Panel(const std::string& key) const {
        auto it = panels.find(key);
        return it == panels.end() ? "<unset>" : it->second;
    }
    // Runs posted work until none is left, as the event loop would.
    int RunPosted() {
        int count = 0;
        while (!posted.empty()) {
            auto work = std::move(posted.front());
            posted.erase(posted.begin());
            work();
            ++count;
        }
        return count;
    }

    void SetMenuEnabled(const std::string& name, bool enabled) override { menus[name] = enabled; }
    void SetButtonEnabled(const std::string& key, bool enabled) override { buttons[key] = enabled; }
    void RowInserted(int32_t index) override {
        ++rowCount;
        ShiftSelection(index, +1);
    }
    void RowRemoved(int32_t index) override {
        --rowCount;
        selection.erase(index);
        ShiftSelection(index, -1);
    }
    void RefreshRow(int32_t) override {}
    std::vector<int32_t> SelectedRows() const override {
        return {selection.begin(), selection.end()};
    }
    void SelectAllRows() override {
        for (int32_t i = 0; i < rowCount; ++i) {
            selection.insert(i);
        }
    }
    void ClearCurrentRow() override { currentRowCleared = true; }
    void SetRedraw(bool enabled) override {
        redraw = enabled;
        if (!enabled) {
            ++redrawOffCount;
        }
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
        if (messageAnswers.empty()) {
            return 1;
        }
        const int32_t answer = messageAnswers.front();
        messageAnswers.pop_front();
        return answer;
    }
    std::optional<std::string> InputBox(const std::string& prompt,
                                        const std::string& title) override {
        prompts.push_back(prompt + "|" + title);
        if (inputAnswers.empty()) {
            return std::nullopt;
        }
        auto answer = inputAnswers.front();
        inputAnswers.pop_front();
        return answer;
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
    void ShiftSelection(int32_t from, int32_t by) {
        std::set<int32_t> shifted;
        for (int32_t row : selection) {
            shifted.insert(row >= from ? row + by : row);
        }
        selection = std::move(shifted);
    }
};
