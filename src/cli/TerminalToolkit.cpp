#include "TerminalToolkit.h"

#include "Utf8.h"

#include "settings/modLanguage.h"

#include <cstdio>
#include <cwchar>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

size_t TerminalColumns() {
    winsize size{};
    return ::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0 ? size.ws_col : 80;
}

// The line as the terminal can redraw it in place: control characters (a file name may hold a
// line break or an escape sequence) and broken UTF-8 become "?", and the text stops short of the
// last column, since a line that wraps is not erased by the next redraw and leaves copies behind.
std::string FitLine(const std::string& line, size_t columns) {
    std::string out;
    size_t used = 0;
    for (size_t i = 0; i < line.size();) {
        char32_t point = 0;
        const size_t length = Utf8Sequence(line, i, point);
        const bool printable = length != 0 && point >= 0x20 && (point < 0x7F || point >= 0xA0);
        int width = printable ? ::wcwidth(static_cast<wchar_t>(point)) : 1;
        if (width < 0) { // a locale that does not know the character
            width = point >= 0x1100 ? 2 : 1;
        }
        if (used + static_cast<size_t>(width) >= columns) {
            break;
        }
        if (printable) {
            out.append(line, i, length);
        } else {
            out += '?';
        }
        used += static_cast<size_t>(width);
        i += length == 0 ? 1 : length;
    }
    return out;
}

} // namespace

TerminalToolkit::TerminalToolkit(const clsUpload& upload, bool progress)
    : m_Upload(upload), m_Progress(progress) {
    m_Timer.setInterval(1000);
    QObject::connect(&m_Timer, &QTimer::timeout, [this] {
        if (Tick) {
            Tick();
        }
    });
}

TerminalToolkit::~TerminalToolkit() {
    FinishLine();
}

void TerminalToolkit::FinishLine() {
    if (!m_LiveKey.empty()) {
        std::fputs("\n", stderr);
        std::fflush(stderr);
        m_LiveKey.clear();
    }
}

void TerminalToolkit::SetList(UploadList& list) {
    m_List = &list;
    list.Changed = [this](int32_t index, ColumnSet) { DrawRow(index); };
}

void TerminalToolkit::DrawRow(int32_t index) {
    if (!m_Progress || m_List == nullptr || index < 0 || index >= m_List->Count()) {
        return;
    }
    const UploadItem& row = *m_List->At(index);
    // Only the row being uploaded is drawn; the reset of the other rows at the start of a run
    // is not news on a terminal.
    if (!m_Upload.Active() || m_Upload.m_Item.get() != &row || row.StatusText.empty()) {
        return;
    }
    if (m_LiveKey != row.FilePath) {
        FinishLine();
        m_LiveKey = row.FilePath;
    }
    std::string line = row.FileName + "  " + row.StatusText;
    if (row.ProgressText != "-") {
        line += "  " + row.ProgressText + "  " + row.SentText + " / " + row.SizeText + "  " +
                row.SpeedText + "  " + row.ElapsedText + " / " + row.RemainingText + " left";
    }
    // Carriage return and erase-line: the row's line is redrawn in place.
    std::fprintf(stderr, "\r\033[K%s", FitLine(line, TerminalColumns()).c_str());
    std::fflush(stderr);
}

std::vector<int32_t> TerminalToolkit::SelectedRows() const {
    std::vector<int32_t> rows;
    for (int32_t i = 0; m_List != nullptr && i < m_List->Count(); ++i) {
        rows.push_back(i);
    }
    return rows;
}

int32_t TerminalToolkit::ShowMessage(const std::string& text, int32_t flags) {
    FinishLine();
    std::fprintf(stderr, "vostrand-upload: %s\n", text.c_str());
    std::fflush(stderr);
    // Questions (a newer version, closing during an upload) are answered No: nothing opens a
    // browser or keeps a cancelled run alive without a user at a window.
    return flags == modLanguage::MB_QUESTION_YESNO ? modLanguage::ID_NO : 1;
}

std::optional<std::string> TerminalToolkit::InputBox(const std::string&, const std::string&) {
    if (InputAnswers.empty()) {
        return std::nullopt;
    }
    auto answer = std::move(InputAnswers.front());
    InputAnswers.pop_front();
    return answer;
}

void TerminalToolkit::SetTimerEnabled(bool enabled) {
    if (enabled) {
        if (!m_Timer.isActive()) {
            m_Timer.start();
        }
    } else {
        m_Timer.stop();
    }
}

void TerminalToolkit::Post(std::function<void()> work) {
    QTimer::singleShot(0, &m_Context, [work = std::move(work)] { work(); });
}
