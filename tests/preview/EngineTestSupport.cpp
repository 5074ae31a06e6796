#include "EngineTestSupport.h"

#include <sstream>

#include "model/MediaResolver.h"
#include "support/MediaFixtures.h"

namespace velmora::test {

EngineHarness::EngineHarness()
{
    QObject::connect(&engine, &TimelinePreviewEngine::statusChanged,
                     [this] { statuses.push_back(engine.status()); });
}

std::shared_ptr<FakePreviewPlayer> EngineHarness::adopt(std::shared_ptr<EditSession> session)
{
    const double length = session->timelines.empty() ? 0 : session->timelines.front().duration.value_or(0);
    engine.adoptSession(std::move(session), media.path(), std::nullopt, true);
    auto player = builder->finish(length);
    queue->runUntilIdle();
    return player;
}

bool EngineHarness::showed(const std::string& status) const
{
    return std::find(statuses.begin(), statuses.end(), status) != statuses.end();
}

double EngineHarness::movie(const std::string& name, int frames)
{
    const std::filesystem::path file = media / name;
    std::filesystem::create_directories(file.parent_path());
    ClipSettings settings;
    settings.frameCount = frames;
    makeClip(file, settings);
    const std::optional<double> length = MediaResolver::fileDurationSeconds(file);
    EXPECT_TRUE(length.has_value()) << file;
    return length.value_or(0);
}

::testing::AssertionResult timelineIs(const EditSession& session, const std::vector<Row>& rows)
{
    const auto near = [](double a, double b) { return std::abs(a - b) <= 1e-6; };
    const auto idMatches = [](const std::string& expected, const std::string& actual) {
        if (expected.ends_with("_b_*")) { // the right part of a cut: "<id>_b_" and eight hex digits
            const std::string prefix = expected.substr(0, expected.size() - 1);
            return actual.starts_with(prefix) && actual.size() == prefix.size() + 8;
        }
        return expected == actual;
    };
    const std::vector<EditSession::Clip>& clips = session.timelines.at(session.activeTimelineIndex().value()).clips;
    bool same = clips.size() == rows.size();
    for (std::size_t i = 0; same && i < rows.size(); ++i) {
        const EditSession::Clip& clip = clips[i];
        const Row& row = rows[i];
        same = idMatches(row.id, clip.id) && near(row.start, clip.startTime.value_or(0))
            && near(row.duration, clip.duration.value_or(0)) && row.lane == clip.track.value_or(1)
            && (std::isnan(row.in) || near(row.in, clip.inPoint.value_or(0)));
    }
    if (same) {
        return ::testing::AssertionSuccess();
    }
    std::ostringstream text;
    for (const EditSession::Clip& clip : clips) {
        text << "\n  " << clip.id << " start " << clip.startTime.value_or(0) << " dur " << clip.duration.value_or(0)
             << " lane " << clip.track.value_or(1) << " in " << clip.inPoint.value_or(0);
    }
    return ::testing::AssertionFailure() << "timeline is" << text.str();
}

} // namespace velmora::test
