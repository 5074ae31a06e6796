#pragma once

// The real engine on a manual main queue and clock (no composition builder: no program player),
// a project over generated media, and small helpers for the inspectors' tests.

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <QImage>

#include "platform/dispatch/Clock.h"
#include "platform/dispatch/ManualMainQueue.h"
#include "preview/TimelinePreviewEngine.h"
#include "support/CubeTexts.h"
#include "support/TestSupport.h"
#include "support/model/SessionBuilders.h"

namespace velmora::test {

// Waits for the inspectors' background work (still grading, waveform reads, duration probes)
// to finish. Work left running when the test program exits would outlive the process's
// statics, so the harness finishes it when it goes away, and once more after the last test.
void finishBackgroundWork();

struct InspectorHarness {
    InspectorHarness();
    ~InspectorHarness();

    // Adopts a 25 fps project with the given sources and clips over the harness's media folder
    // (and no project file). Each clip is normalised as a loaded project's would be.
    void adopt(std::vector<EditSession::Source> sources, std::vector<EditSession::Clip> clips);
    EditSession& session() const { return *engine.session(); }
    // Runs posted work (background results included) until `done` holds; false after 30 s.
    bool waitFor(const std::function<bool()>& done);

    std::shared_ptr<ManualMainQueue> queue = std::make_shared<ManualMainQueue>();
    std::shared_ptr<ManualClock> clock = std::make_shared<ManualClock>(100.0);
    TempDir media;
    TimelinePreviewEngine engine{TimelinePreviewEngine::Services{queue, clock, nullptr}};
};

// A video clip on lane 1 reading `sourceId`.
EditSession::Clip videoClip(std::string id, std::string sourceId, double start, double duration,
                            double inPoint = 0);

// The mean of the red, green and blue codes (0…255) of a picture over its centre half.
double meanLevel(const QImage& picture);

// A grab of a widget written to the build folder's screenshots/<name>.png; returns the path.
std::filesystem::path saveScreenshot(QWidget& widget, const std::string& name);

} // namespace velmora::test
