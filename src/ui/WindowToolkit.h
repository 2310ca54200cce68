#pragma once
// What the queue logic needs of its window: the window toolkit contract, cut down to the
// operations the list commands, the queue driver and the status bar call. frmMain realises it
// with widgets, vostrand-upload for a terminal, tests with a recorder.
//
// Rows are addressed by their position in the upload list (0-based, list order). A view follows
// the list through the list's own events (UploadList::AboutToInsert and the others) and keeps
// no copy of the rows.
#include "ui/Commands.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

class WindowToolkit {
public:
    virtual ~WindowToolkit() = default;

    // --- commands --------------------------------------------------------------------------
    // A command's menu entry.
    virtual void SetMenuEnabled(Command command, bool enabled) = 0;
    // A command's toolbar button; called only for commands that have one.
    virtual void SetButtonEnabled(Command command, bool enabled) = 0;

    // --- the upload list --------------------------------------------------------------------
    // The positions of the selected rows, in any order (the queue sorts them).
    virtual std::vector<int32_t> SelectedRows() const = 0;
    virtual void SelectAllRows() = 0;
    // Leaves the list without a current (focused) row.
    virtual void ClearCurrentRow() = 0;
    virtual void SetRedraw(bool enabled) = 0;
    virtual void SetDropEnabled(bool enabled) = 0;
    // Fetches the shell's small icon for a file named like key (an extension key such as
    // ".pdf", or "") and keeps it under key; false when no icon could be had.
    virtual bool LoadExtensionIcon(const std::string& key) = 0;

    // --- status bar -------------------------------------------------------------------------
    virtual void SetPanelText(const std::string& key, const std::string& text) = 0;

    // --- boxes and dialogs ------------------------------------------------------------------
    // flags: 16, 36, 48 or 64 (icon and buttons); returns the button, 6 for Yes.
    virtual int32_t ShowMessage(const std::string& text, int32_t flags) = 0;
    // The entered text, or nothing when the box was cancelled.
    virtual std::optional<std::string> InputBox(const std::string& prompt,
                                                const std::string& title) = 0;
    // Existing files to add, as full paths; empty when cancelled.
    virtual std::vector<std::string> ShowOpenDialog(const std::string& initialFolder) = 0;
    // The log file; empty when cancelled.
    virtual std::string ShowSaveDialog(const std::string& initialName,
                                       const std::string& initialFolder,
                                       const std::string& defaultExtension) = 0;
    virtual void SetClipboardText(const std::string& text) = 0;
    virtual void OpenUrl(const std::string& url) = 0;

    // --- the event loop ---------------------------------------------------------------------
    // The one-second timer; its ticks arrive as UploadQueue::Tick.
    virtual void SetTimerEnabled(bool enabled) = 0;
    // Runs work on the event loop after the current event has been handled, never inside the
    // call.
    virtual void Post(std::function<void()> work) = 0;
};
