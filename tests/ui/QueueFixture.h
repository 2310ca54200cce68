#pragma once
// The queue logic with a real engine behind it: a recording toolkit, settings, recognisable
// German test texts and number format, a clsUpload over the Qt socket, and a temporary folder.
#include "RecordingToolkit.h"
#include "TempDir.h"

#include "platform/Format.h"
#include "platform/qt/QtSocket.h"
#include "settings/modConfig.h"
#include "settings/modLanguage.h"
#include "ui/UploadQueue.h"
#include "upload/clsUpload.h"
#include "upload/modUpload.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

namespace uitest {

constexpr int64_t MB = 1048576;

class QueueTest : public ::testing::Test {
protected:
    QueueTest() {
        // Status n is "S<n>", prompt n is "I<n>"; the messages carry their placeholders.
        std::vector<std::string> status;
        for (int n = 1; n <= 21; ++n) {
            status.push_back("S" + std::to_string(n));
        }
        texts.SetStatusTexts(status);
        texts.SetMessageTexts({"M1 Info fehlgeschlagen", "M2 {%1} schon da", "M3 {%1} > {%2} MB",
                               "M4 Upload läuft", "M5 {%1}: {%2}", "M6 Neue Version"});
        texts.SetInputTexts({"I1", "I2", "I3"});
        texts.SetLogFileTexts({"L1", "L2", "L3", "L4", "L5"});
        format.group = ".";
        format.decimal = ",";
        upload = std::make_unique<clsUpload>(settings, texts, format, QtSocketFactory());
        queue = std::make_unique<UploadQueue>(toolkit, settings, texts, format, *upload);
        queue->SetService({100 * MB, "", ""});
        toolkit.Watch(queue->List());
        for (const char* key :
             {"file_count", "upload_maxfilesize", "upload_traffic", "upload_count"}) {
            queue->Status().SetTemplate(key, std::string(key) + ": %1");
        }
    }
    ~QueueTest() override {
        toolkit.posted.clear(); // work never run may hold objects that use the settings
        queue.reset();
        upload.reset();
    }

    // A file of size bytes (sparse, so large sizes cost nothing).
    std::string File(const std::string& name, int64_t size = 10) {
        const std::string path = dir.WriteFile(name, "");
        std::filesystem::resize_file(path, static_cast<std::uintmax_t>(size));
        return path;
    }
    // Adds the files as one dialog batch.
    void Add(const std::vector<std::string>& paths) {
        toolkit.openAnswer = paths;
        queue->AddFiles();
    }
    std::vector<std::string> Names() const {
        std::vector<std::string> names;
        for (const auto& row : queue->List()) {
            names.push_back(row->FileName);
        }
        return names;
    }
    UploadItem& Row(int32_t index) { return *queue->List().At(index); }

    // Runs the event loop and the posted work until done() holds. The limit is generous: only a
    // failing test waits it out.
    bool Spin(const std::function<bool()>& done) {
        QElapsedTimer clock;
        clock.start();
        while (!done()) {
            if (clock.elapsed() > 120000) {
                return false;
            }
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
            toolkit.RunPosted();
        }
        return true;
    }

    testsupport::TempDir dir;
    RecordingToolkit toolkit;
    ConfigSettings settings;
    modLanguage::TextLists texts;
    NumberFormat format;
    std::unique_ptr<clsUpload> upload;
    std::unique_ptr<UploadQueue> queue;
};

} // namespace uitest
