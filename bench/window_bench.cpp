// Benchmarks of the window (never run as tests): build/bin/bench_window [SIZE_MIB] [FILES]
//
// 1. While the window uploads one file of SIZE_MIB (default 1024, sparse) to a vostrand-service
//    of its own, a 10 ms timer ticks on the window's event loop: the largest gap between two
//    ticks shows how long the loop was ever blocked. Then the window's peak RSS (VmHWM).
// 2. FILES (default 10000) files dropped at once: the time from the drop until the list has
//    painted them.
// Runs offscreen unless QT_QPA_PLATFORM says otherwise.
#include "gui/UploadListView.h"
#include "gui/frmMain.h"

#include "settings/modConfig.h"

#include <QApplication>
#include <QDir>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QMimeData>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include <cstdio>
#include <fstream>
#include <string>

namespace {

struct SilentDialogs : DialogAnswerer {
    int32_t Message(QWidget*, const QString&, const QString& text, int32_t) override {
        std::fprintf(stderr, "bench: message: %s\n", text.toUtf8().constData());
        return 7;
    }
    std::optional<QString> Input(QWidget*, const QString&, const QString&) override { return {}; }
    QStringList OpenFiles(QWidget*, const QString&) override { return {}; }
    QString SaveFile(QWidget*, const QString&, const QString&, const QString&) override {
        return {};
    }
};

long PeakRssKiB() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0) {
            return std::stol(line.substr(6));
        }
    }
    return -1;
}

void Drop(frmMain& window, const QStringList& paths) {
    QMimeData data;
    QList<QUrl> urls;
    urls.reserve(paths.size());
    for (const QString& path : paths) {
        urls << QUrl::fromLocalFile(path);
    }
    data.setUrls(urls);
    QWidget* target = window.List()->viewport();
    QDragEnterEvent enter(target->rect().center(), Qt::CopyAction, &data, Qt::LeftButton,
                          Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    QDropEvent drop(QPointF(target->rect().center()), Qt::CopyAction, &data, Qt::LeftButton,
                    Qt::NoModifier);
    QApplication::sendEvent(target, &drop);
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    const long sizeMiB = argc > 1 ? std::atol(argv[1]) : 1024;
    const int fileCount = argc > 2 ? std::atoi(argv[2]) : 10000;

    QTemporaryDir dir;
    QProcess service;
    service.start(QStringLiteral(VOSTRAND_BIN_DIR "/vostrand-service"),
                  {"--port", "0", "--storage", dir.filePath("storage"), "--quiet", "--max-size-mb",
                   QString::number(sizeMiB + 1)});
    if (!service.waitForReadyRead(15000)) {
        std::fprintf(stderr, "bench: vostrand-service did not start\n");
        return 1;
    }
    const std::string baseUrl = service.readLine().trimmed().toStdString();

    ConfigSettings settings;
    modLanguage::TextLists texts;
    SilentDialogs dialogs;
    modConfig::WriteIniValue(dir.filePath("config.ini").toStdString(), "Main", "language",
                             "English", true);
    frmMainSetup setup{settings,
                       texts,
                       dir.filePath("config.ini").toStdString(),
                       VOSTRAND_BIN_DIR "/language/",
                       baseUrl,
                       NumberFormat{},
                       &dialogs};
    frmMain window(setup);
    window.show();
    if (!QTest::qWaitFor([&] { return window.List()->DropEnabled(); }, 15000)) {
        std::fprintf(stderr, "bench: the service did not answer\n");
        return 1;
    }

    // --- 1. one large upload, the event loop's largest gap ------------------------------------
    const QString large = dir.filePath("large.bin");
    {
        QFile file(large);
        file.open(QIODevice::WriteOnly);
        file.resize(sizeMiB * 1024 * 1024);
    }
    Drop(window, {large});
    QElapsedTimer clock;
    qint64 last = 0;
    qint64 largestGap = 0;
    QTimer ticker;
    ticker.setInterval(10);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        const qint64 now = clock.elapsed();
        largestGap = std::max(largestGap, now - last);
        if (now - last > 25 && qEnvironmentVariableIsSet("BENCH_GAPS")) {
            std::fprintf(stderr, "gap %lld ms at %lld ms\n", now - last, now);
        }
        last = now;
    });
    // The same ticks on an idle window first: what the machine's scheduling alone costs.
    clock.start();
    ticker.start();
    QTest::qWait(0);
    {
        QEventLoop idle;
        QTimer::singleShot(2000, &idle, &QEventLoop::quit);
        idle.exec();
    }
    const qint64 idleGap = largestGap;
    largestGap = 0;
    last = clock.elapsed();
    const qint64 started = last;
    window.Queue().StartRun(dir.filePath("upload.log").toStdString());
    // A plain event loop: QTest::qWaitFor sleeps between its rounds and would throttle the
    // socket.
    QEventLoop loop;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (!window.Queue().RunInProgress()) {
            loop.quit();
        }
    });
    watch.start(100);
    loop.exec();
    ticker.stop();
    const double seconds = static_cast<double>(clock.elapsed() - started) / 1000.0;
    const bool complete = window.Queue().List().At(0)->IsComplete();
    std::printf("idle window: largest gap between 10 ms ticks over 2 s: %lld ms\n",
                static_cast<long long>(idleGap));
    std::printf("upload of %ld MiB: %s in %.2f s (%.0f MiB/s); largest gap between 10 ms ticks: "
                "%lld ms; peak RSS %.1f MiB\n",
                sizeMiB, complete ? "complete" : "NOT complete", seconds,
                static_cast<double>(sizeMiB) / seconds, static_cast<long long>(largestGap),
                static_cast<double>(PeakRssKiB()) / 1024.0);
    window.List()->selectAll();
    window.Queue().Remove();

    // --- 2. many files in one drop ----------------------------------------------------------
    QStringList paths;
    QDir().mkpath(dir.filePath("many"));
    for (int i = 0; i < fileCount; ++i) {
        const QString path = dir.filePath(QStringLiteral("many/file-%1.%2")
                                              .arg(i, 5, 10, QLatin1Char('0'))
                                              .arg(i % 7 == 0 ? "pdf" : "txt"));
        QFile file(path);
        file.open(QIODevice::WriteOnly);
        file.write("x");
        paths << path;
    }
    clock.restart();
    Drop(window, paths);
    QCoreApplication::processEvents();
    window.List()->viewport()->repaint();
    const qint64 dropMs = clock.elapsed();
    std::printf("drop of %d files: %d rows listed and painted in %lld ms; peak RSS %.1f MiB\n",
                fileCount, window.Queue().List().Count(), static_cast<long long>(dropMs),
                static_cast<double>(PeakRssKiB()) / 1024.0);

    service.terminate();
    service.waitForFinished(5000);
    return 0;
}
