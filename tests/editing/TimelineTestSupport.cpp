#include "TimelineTestSupport.h"

#include <cmath>
#include <sstream>

namespace velmora::test {

ClipBuilder::ClipBuilder(std::string id, std::string type, double start, double duration) : clip_(std::move(id))
{
    clip_.type = std::move(type);
    clip_.startTime = start;
    clip_.duration = duration;
    clip_.inPoint = 0.0;
}

ClipBuilder& ClipBuilder::in(double inPoint) { clip_.inPoint = inPoint; return *this; }
ClipBuilder& ClipBuilder::lane(int track) { clip_.track = track; return *this; }
ClipBuilder& ClipBuilder::speed(double speed) { clip_.speed = speed; return *this; }
ClipBuilder& ClipBuilder::name(std::string name) { clip_.name = std::move(name); return *this; }
ClipBuilder& ClipBuilder::source(std::string sourceId) { clip_.sourceId = std::move(sourceId); return *this; }
ClipBuilder& ClipBuilder::group(std::string groupId) { clip_.groupId = std::move(groupId); return *this; }
ClipBuilder& ClipBuilder::opacity(double opacity) { clip_.opacity = opacity; return *this; }
ClipBuilder& ClipBuilder::raw() { raw_ = true; return *this; }

ClipBuilder& ClipBuilder::fades(std::optional<double> fadeIn, std::optional<double> fadeOut)
{
    clip_.fadeIn = fadeIn;
    clip_.fadeOut = fadeOut;
    return *this;
}

ClipBuilder::operator EditSession::Clip() const
{
    EditSession::Clip clip = clip_;
    if (!raw_) {
        EditSession::normalizeTiming(clip);
    }
    return clip;
}

ClipBuilder video(std::string id, double start, double duration) { return {std::move(id), "video", start, duration}; }
ClipBuilder audio(std::string id, double start, double duration) { return {std::move(id), "audio", start, duration}; }
ClipBuilder image(std::string id, double start, double duration) { return {std::move(id), "image", start, duration}; }
ClipBuilder text(std::string id, double start, double duration) { return {std::move(id), "text", start, duration}; }

EditSession sessionWith(std::vector<EditSession::Clip> clips)
{
    EditSession session;
    EditSession::Project project;
    project.name = "Test";
    project.activeTimelineId = "tl";
    session.project = project;
    EditSession::Timeline timeline;
    timeline.id = "tl";
    timeline.name = "Timeline 1";
    timeline.clips = std::move(clips);
    session.timelines.push_back(std::move(timeline));
    session.recomputeTimelineDuration();
    return session;
}

bool isSplitRightId(const std::string& id, const std::string& leftId)
{
    const std::string prefix = leftId + "_b_";
    if (id.size() != prefix.size() + 8 || id.compare(0, prefix.size(), prefix) != 0) {
        return false;
    }
    for (std::size_t i = prefix.size(); i < id.size(); ++i) {
        const char c = id[i];
        if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'))) {
            return false;
        }
    }
    return true;
}

std::vector<Row> rowsOf(const EditSession& session, std::size_t timelineIndex)
{
    std::vector<Row> rows;
    for (const auto& clip : session.timelines.at(timelineIndex).clips) {
        rows.push_back({clip.id, clip.startTime.value_or(NAN), clip.duration.value_or(NAN),
                        clip.inPoint.value_or(NAN), clip.outPoint.value_or(NAN), clip.track.value_or(1)});
    }
    return rows;
}

namespace {

std::string describe(const std::vector<Row>& rows)
{
    std::ostringstream out;
    out.precision(12);
    for (const Row& row : rows) {
        out << "  {" << row.id << ", start " << row.start << ", dur " << row.duration << ", in " << row.in
            << ", out " << row.out << ", lane " << row.lane << "}\n";
    }
    return out.str();
}

bool near(double a, double b)
{
    return std::abs(a - b) <= 1e-9;
}

bool idMatches(const std::string& actual, const std::string& expected)
{
    constexpr std::string_view wildcard = "_b_*";
    if (expected.size() > wildcard.size() && expected.ends_with(wildcard)) {
        return isSplitRightId(actual, expected.substr(0, expected.size() - wildcard.size()));
    }
    return actual == expected;
}

} // namespace

::testing::AssertionResult timelineIs(const EditSession& session, const std::vector<Row>& rows,
                                      std::size_t timelineIndex)
{
    const std::vector<Row> actual = rowsOf(session, timelineIndex);
    bool same = actual.size() == rows.size();
    for (std::size_t i = 0; same && i < rows.size(); ++i) {
        const Row& a = actual[i];
        const Row& e = rows[i];
        same = idMatches(a.id, e.id) && near(a.start, e.start) && near(a.duration, e.duration) && near(a.in, e.in)
            && near(a.out, e.out) && a.lane == e.lane;
    }
    if (same) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure() << "timeline is\n" << describe(actual) << "expected\n" << describe(rows);
}

::testing::AssertionResult editWithUndo(EditSession& session, const std::function<bool(EditSession&)>& edit,
                                        bool expectChanged, const std::vector<Row>& after)
{
    TimelineUndoStack stack;
    // Restoring a snapshot normalises clip timing, so undo gives the state before in its
    // normalised form.
    EditSession normalisedBefore = session;
    normalisedBefore.normalizeAllClipTiming();
    const std::vector<Row> before = rowsOf(normalisedBefore);
    const auto beforeDuration = normalisedBefore.timelines[0].duration;
    stack.push(*session.snapshotActiveTimeline());
    const bool changed = edit(session);
    if (!changed) {
        stack.cancelLastPush();
    }
    if (changed != expectChanged) {
        return ::testing::AssertionFailure() << "edit answered " << changed << "\n" << describe(rowsOf(session));
    }
    if (auto result = timelineIs(session, after); !result) {
        return result << "(after the edit)";
    }
    const std::vector<Row> afterActual = rowsOf(session);
    if (!expectChanged) {
        if (stack.canUndo()) {
            return ::testing::AssertionFailure() << "a refused edit left an undo step";
        }
        return ::testing::AssertionSuccess();
    }
    const auto current = session.snapshotActiveTimeline();
    const auto undone = stack.popUndo(*current);
    if (!undone) {
        return ::testing::AssertionFailure() << "nothing to undo";
    }
    session.applySnapshot(*undone);
    if (auto result = timelineIs(session, before); !result) {
        return result << "(after undo)";
    }
    if (session.timelines[0].duration != beforeDuration) {
        return ::testing::AssertionFailure() << "duration after undo differs";
    }
    const auto redone = stack.popRedo(*session.snapshotActiveTimeline());
    if (!redone) {
        return ::testing::AssertionFailure() << "nothing to redo";
    }
    session.applySnapshot(*redone);
    std::vector<Row> exactAfter = afterActual;
    if (auto result = timelineIs(session, exactAfter); !result) {
        return result << "(after redo)";
    }
    return ::testing::AssertionSuccess();
}

} // namespace velmora::test
