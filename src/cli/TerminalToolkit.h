#pragma once
// The window toolkit for a terminal: every row counts as selected, messages go to stderr (or to
// a caller who collects them), input boxes are answered from what the command line asked for,
// the timer is a QTimer and posted work runs on the Qt event loop. The running row is drawn as
// one live line on stderr when it is a terminal.
#include "ui/WindowToolkit.h"
#include "upload/UploadItem.h"
#include "upload/clsUpload.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <deque>

class TerminalToolkit : public WindowToolkit {
public:
    // upload: whose running row is drawn; progress: draw at all.
    TerminalToolkit(const clsUpload& upload, bool progress);
    // The rows the queue shows (the queue is made after its toolkit); their changes are drawn.
    void SetList(UploadList& list);
    ~TerminalToolkit() override;

    // Called on every tick of the one-second timer.
    std::function<void()> Tick;
    // Answers of the next input boxes, in order; an empty queue answers "cancelled".
    std::deque<std::optional<std::string>> InputAnswers;
    // While set, messages go here instead of stderr (the caller tells them with the path the
    // user gave).
    std::vector<std::string>* Collect = nullptr;
    // Ends the live line, if one is open (the upload of its row has ended, or Ctrl+C).
    void FinishLine();

    // The live line of a row for a terminal of that many columns: the name shortened in the
    // middle, then percent, bytes, speed, elapsed and remaining time; on a narrow terminal the
    // fields go from the right, the percent last of all. Never as wide as columns, free of
    // control characters. seconds: how long the file has been sent (speed and remaining time
    // follow from it), 0 for the engine's speed.
    static std::string ProgressLine(const UploadItem& row, size_t columns, double seconds);
    // 1023 B, 1.50 KiB, 12.0 MiB, 2.25 GiB
    static std::string HumanBytes(double bytes);

    void SetMenuEnabled(Command, bool) override {}
    void SetButtonEnabled(Command, bool) override {}
    std::vector<int32_t> SelectedRows() const override;
    void SelectAllRows() override {}
    void ClearCurrentRow() override {}
    void SetRedraw(bool) override {}
    void SetDropEnabled(bool) override {}
    bool LoadExtensionIcon(const std::string&) override { return true; }
    void SetPanelText(const std::string&, const std::string&) override {}
    int32_t ShowMessage(const std::string& text, int32_t flags) override;
    std::optional<std::string> InputBox(const std::string& prompt,
                                        const std::string& title) override;
    std::vector<std::string> ShowOpenDialog(const std::string&) override { return {}; }
    std::string ShowSaveDialog(const std::string&, const std::string&,
                               const std::string&) override {
        return {};
    }
    void SetClipboardText(const std::string&) override {}
    void OpenUrl(const std::string&) override {}
    void SetTimerEnabled(bool enabled) override;
    void Post(std::function<void()> work) override;

private:
    void DrawRow(int32_t index);

    const UploadList* m_List = nullptr;
    const clsUpload& m_Upload;
    bool m_Progress;
    QTimer m_Timer;
    QObject m_Context; // posted work dies with the toolkit
    std::string m_LiveKey;
    QElapsedTimer m_SendClock; // since the live row's file request started
    int64_t m_SentBytes = 0;   // the live row's bytes sent when last seen changing
    double m_SentSeconds = 0;  // and when that was
};
