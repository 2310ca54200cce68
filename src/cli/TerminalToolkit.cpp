#include "TerminalToolkit.h"

#include "settings/modLanguage.h"

#include <QString>

#include <cstdio>
#include <cwchar>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

size_t TerminalColumns() {
    winsize size{};
    return ::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0 ? size.ws_col : 80;
}

// A text as the terminal can redraw it in place, as code points with their column widths:
// control characters (a file name may hold a line break or an escape sequence) become "?", and
// bytes that are not UTF-8 the replacement character.
struct Cell {
    char32_t point;
    int width;
};
std::vector<Cell> Cells(const std::string& text) {
    std::vector<Cell> cells;
    for (char32_t point : QString::fromStdString(text).toUcs4()) {
        const bool printable = point >= 0x20 && (point < 0x7F || point >= 0xA0);
        if (!printable) {
            point = '?';
        }
        int width = ::wcwidth(static_cast<wchar_t>(point));
        if (width < 0) { // a locale that does not know the character
            width = point >= 0x1100 ? 2 : 1;
        }
        cells.push_back({point, width});
    }
    return cells;
}

size_t Width(const std::vector<Cell>& cells) {
    size_t width = 0;
    for (const Cell& cell : cells) {
        width += static_cast<size_t>(cell.width);
    }
    return width;
}

std::string Text(const std::vector<Cell>& cells) {
    std::u32string points;
    for (const Cell& cell : cells) {
        points += cell.point;
    }
    return QString::fromUcs4(points.data(), static_cast<qsizetype>(points.size())).toStdString();
}

// At most width columns: the start and the end of the name with "..." between.
std::string ShortenMiddle(const std::string& name, size_t width) {
    const std::vector<Cell> cells = Cells(name);
    if (Width(cells) <= width) {
        return Text(cells);
    }
    if (width < 5) {
        return std::string(std::min<size_t>(width, 3), '.');
    }
    const size_t room = width - 3;
    std::vector<Cell> left, right;
    size_t used = 0;
    for (size_t i = 0;
         i < cells.size() && used + static_cast<size_t>(cells[i].width) <= (room + 1) / 2; ++i) {
        left.push_back(cells[i]);
        used += static_cast<size_t>(cells[i].width);
    }
    for (size_t i = cells.size(); i > 0 && used + static_cast<size_t>(cells[i - 1].width) <= room;
         --i) {
        right.insert(right.begin(), cells[i - 1]);
        used += static_cast<size_t>(cells[i - 1].width);
    }
    return Text(left) + "..." + Text(right);
}

// 0:07, 12:30, 1:02:03
std::string ClockText(double seconds) {
    const auto whole = static_cast<long long>(std::max(seconds, 0.0) + 0.5);
    char text[32];
    if (whole >= 3600) {
        std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", whole / 3600, whole / 60 % 60,
                      whole % 60);
    } else {
        std::snprintf(text, sizeof text, "%lld:%02lld", whole / 60, whole % 60);
    }
    return text;
}

} // namespace

std::string TerminalToolkit::HumanBytes(double bytes) {
    const char* units[] = {"B", "KiB", "MiB", "GiB", "TiB"};
    size_t unit = 0;
    while (bytes >= 1024 && unit + 1 < std::size(units)) {
        bytes /= 1024;
        ++unit;
    }
    char text[32];
    if (unit == 0) {
        std::snprintf(text, sizeof text, "%.0f B", bytes);
    } else {
        std::snprintf(text, sizeof text, bytes < 10 ? "%.2f %s" : "%.1f %s", bytes, units[unit]);
    }
    return text;
}

std::string TerminalToolkit::ProgressLine(const UploadItem& row, size_t columns, double seconds) {
    // The last column stays free: a line that wraps is not erased by the next redraw.
    const size_t room = columns > 1 ? columns - 1 : 0;
    std::vector<std::string> fields;
    if (row.Percent >= 0) {
        const double sent = static_cast<double>(row.BytesSent);
        const double speed = seconds > 0 ? sent / seconds : row.Speed;
        const double remaining = speed > 0 ? (static_cast<double>(row.FileSize) - sent) / speed : 0;
        fields = {std::to_string(row.Percent) + "%",
                  HumanBytes(sent) + " / " + HumanBytes(static_cast<double>(row.FileSize)),
                  HumanBytes(speed) + "/s", ClockText(seconds) + " elapsed",
                  ClockText(remaining) + " left"};
    } else {
        fields = {Text(Cells(row.StatusText))};
    }
    const auto tailWidth = [&] {
        size_t width = 0;
        for (const auto& field : fields) {
            width += 2 + Width(Cells(field));
        }
        return width;
    };
    const size_t nameWidth = Width(Cells(row.FileName));
    const size_t nameLeast = std::min<size_t>(nameWidth, 12);
    while (fields.size() > 1 && nameLeast + tailWidth() > room) {
        fields.pop_back();
    }
    std::string tail;
    for (const auto& field : fields) {
        tail += "  " + field;
    }
    const size_t tailColumns = tailWidth();
    if (tailColumns + 3 > room) { // no room for a name: the percent alone
        return ShortenMiddle(fields.front(), room);
    }
    return ShortenMiddle(row.FileName, room - tailColumns) + tail;
}

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
        m_SendClock.invalidate();
        m_SentBytes = 0;
        m_SentSeconds = 0;
    }
    // The engine counts whole seconds; the line's speed and times use a finer clock, started
    // when the file's request starts.
    if (m_Upload.RequestIndex() == clsUpload::RequestFile && !m_SendClock.isValid()) {
        m_SendClock.start();
    }
    // The bytes sent change once a second: the speed is theirs over the time they were read at.
    if (m_SendClock.isValid() && row.BytesSent != m_SentBytes) {
        m_SentBytes = row.BytesSent;
        m_SentSeconds = static_cast<double>(m_SendClock.elapsed()) / 1000.0;
    }
    const double seconds = m_SendClock.isValid() ? m_SentSeconds : 0;
    // Carriage return and erase-line: the row's line is redrawn in place.
    std::fprintf(stderr, "\r\033[K%s", ProgressLine(row, TerminalColumns(), seconds).c_str());
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
    // One line: the texts of the language files break lines for a message box.
    std::string line;
    for (char c : text) {
        if (c == '\r') {
            continue;
        }
        line += c == '\n' ? ' ' : c;
    }
    if (Collect != nullptr) {
        Collect->push_back(line);
    } else {
        FinishLine();
        std::fprintf(stderr, "vostrand-upload: %s\n", line.c_str());
        std::fflush(stderr);
    }
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
