#pragma once

// An engine wired to a manual main queue, a manual clock and a fake composition builder, and a
// whole-timeline comparison for the engine's tests.

#include <cmath>
#include <limits>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "FakeCompositionBuilder.h"
#include "platform/dispatch/Clock.h"
#include "platform/dispatch/ManualMainQueue.h"
#include "preview/TimelinePreviewEngine.h"
#include "support/TestSupport.h"
#include "support/model/SessionBuilders.h"

namespace velmora::test {

struct EngineHarness {
    EngineHarness();

    // Adopts the session with the harness's media folder and answers the build with a player
    // over the timeline's length; returns that player.
    std::shared_ptr<FakePreviewPlayer> adopt(std::shared_ptr<EditSession> session);
    // Whether the engine showed the status at some point (every status is recorded).
    bool showed(const std::string& status) const;
    // A movie of `frames` frames at 25 fps at `name` in the media folder (its folders made as
    // needed); its length as the media layer reads it, which limits a clip's tail.
    double movie(const std::string& name, int frames);
    EditSession& session() const { return *engine.session(); }

    std::shared_ptr<ManualMainQueue> queue = std::make_shared<ManualMainQueue>();
    std::shared_ptr<ManualClock> clock = std::make_shared<ManualClock>(100.0);
    std::shared_ptr<FakeCompositionBuilder> builder = std::make_shared<FakeCompositionBuilder>(queue);
    TempDir media;
    // File names the engine's readability check calls unreadable (permissions do not bind the
    // superuser the tests may run as).
    std::shared_ptr<std::set<std::string>> unreadable = std::make_shared<std::set<std::string>>();
    TimelinePreviewEngine engine{TimelinePreviewEngine::Services{
        queue, clock, builder, {}, [names = unreadable](const std::filesystem::path& file) -> std::optional<std::string> {
            if (names->contains(file.filename().string()))
                return "Permission denied";
            return std::nullopt;
        }}};
    std::vector<std::string> statuses;
};

// One clip as the tests compare it. An id "X_b_*" matches the right part of a cut of X; an
// in point of NaN is not compared.
struct Row {
    std::string id;
    double start = 0;
    double duration = 0;
    int lane = 1;
    double in = std::numeric_limits<double>::quiet_NaN();
};

// Every clip of the active timeline, in stored order, matches the rows (times within 1e-6 s).
::testing::AssertionResult timelineIs(const EditSession& session, const std::vector<Row>& rows);

} // namespace velmora::test
