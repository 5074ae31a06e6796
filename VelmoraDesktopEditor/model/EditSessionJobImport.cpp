// Desktop job import: a decoded EditorJobV2 (browser export, render job, edit-return file) as an
// EditSession, with the browser export's clean-up on the way in.

#include <algorithm>
#include <cmath>

#include "model/DesktopJobTool.h"
#include "model/EditSession.h"
#include "model/LutResolution.h"
#include "model/ProjectLUTResolver.h"
#include "platform/foundation/StringText.h"

namespace velmora {

namespace {

constexpr double defaultPixelsPerSecond = 100.0;

// Below these magnitudes a grade parameter counts as neutral.
constexpr double basicNeutralThreshold = 0.0005;
constexpr double colourNeutralThreshold = 0.01;

// Layout clean-up of browser exports: a visual clip that starts within this window around the
// previous clip's end is moved to abut it.
constexpr double largestClosedOverlap = 0.15;
constexpr double largestClosedGap = 0.5;
// Both bounds are exclusive; times such as 3.85 − 4 carry rounding error, so a gap counts as
// on a bound when it is within this much of it.
constexpr double boundTolerance = 1e-9;

bool isBrowserExport(const std::optional<std::string>& tool)
{
    return tool && *tool == DesktopJobTool::browserExport;
}

bool exceeds(const std::optional<double>& value, double threshold)
{
    return value && std::fabs(*value) > threshold;
}

bool gradeParamsMatter(const std::optional<EditorJobV2::ClipGrade::GradeParams>& params)
{
    if (!params) {
        return false;
    }
    const auto& p = *params;
    for (const auto* basic : {&p.exposure, &p.contrast, &p.highlights, &p.shadows, &p.saturation, &p.vibrance,
             &p.sharpness, &p.vignetteStrength}) {
        if (exceeds(*basic, basicNeutralThreshold)) {
            return true;
        }
    }
    if (exceeds(p.temperature, colourNeutralThreshold) || exceeds(p.tint, colourNeutralThreshold)) {
        return true;
    }
    return p.moodKey && !p.moodKey->empty() && *p.moodKey != "none";
}

// The last component of a slash-separated path, ignoring trailing slashes.
std::string lastPathComponent(const std::string& path)
{
    std::string trimmed = path;
    while (trimmed.size() > 1 && trimmed.back() == '/') {
        trimmed.pop_back();
    }
    const auto slash = trimmed.find_last_of('/');
    if (slash == std::string::npos || trimmed.size() == 1) {
        return trimmed;
    }
    return trimmed.substr(slash + 1);
}

std::optional<std::string> nonEmptyTrimmed(const std::optional<std::string>& text)
{
    if (!text) {
        return std::nullopt;
    }
    std::string trimmed = StringText::trimmed(*text);
    if (trimmed.empty()) {
        return std::nullopt;
    }
    return trimmed;
}

// The grade a job clip keeps in the session: a browser export's cleaned, any other as written.
std::optional<EditorJobV2::ClipGrade> gradeOnOpening(const std::optional<EditorJobV2::ClipGrade>& grade,
                                                     bool browserExport)
{
    return browserExport ? EditSession::sanitizeWebImportClipGrade(grade) : grade;
}

std::optional<EditSession::Clip> convertClip(const EditorJobV2::Clip& jobClip, bool browserExport)
{
    if (browserExport && jobClip.type) {
        const std::string kind = StringText::lowercased(StringText::trimmed(*jobClip.type));
        if (kind == "text" || kind == "image") {
            return std::nullopt;
        }
    }
    // Every clip holds an id by now (EditorJobV2::giveClipIds), the one the export keys it by.
    EditSession::Clip clip(jobClip.id.value_or(""));
    clip.type = jobClip.type;
    clip.name = jobClip.name;
    clip.sourceId = jobClip.sourceId;
    clip.groupId = jobClip.groupId;
    clip.track = jobClip.track;
    clip.startTime = jobClip.startTime;
    clip.duration = jobClip.duration;
    clip.inPoint = jobClip.inPoint;
    clip.outPoint = jobClip.outPoint;
    clip.speed = jobClip.speed;
    clip.opacity = jobClip.opacity;
    clip.fadeIn = jobClip.fadeIn;
    clip.fadeOut = jobClip.fadeOut;
    clip.grade = gradeOnOpening(jobClip.grade, browserExport);
    return clip;
}

} // namespace

EditSession EditSession::fromEditorJobV2(const EditorJobV2& given)
{
    // A clip without an id is kept with the id the export gives it: the export renders every
    // clip of the job, and opened for editing the same clips are there, keyed alike.
    EditorJobV2 job = given;
    job.giveClipIds();
    const bool browserExport = isBrowserExport(job.tool);
    EditSession session;
    session.tool = job.tool;
    session.version = job.version;
    session.createdAt = job.createdAt;
    if (job.project) {
        session.project = Project{job.project->name, job.project->width, job.project->height, job.project->fps,
            job.project->activeTimelineId};
    }

    // A job's own LUT is kept where it is inline text the cube reader grades with, by the rule
    // every route grades it by (the size the reader reads, not the first size line written).
    std::string lutCube = StringText::trimmed(job.grade.lutCube);
    if (browserExport || LutResolving::unusableReason(lutCube)) {
        lutCube = std::string(ProjectLUTResolver::noLutSentinel);
    }
    session.grade = ProjectGrade{std::move(lutCube)};

    for (const auto& source : job.sources) {
        session.sources.emplace_back(source.id, source.fileName, source.type);
    }

    for (const auto& jobTimeline : job.timelines) {
        Timeline timeline;
        timeline.id = jobTimeline.id;
        timeline.name = jobTimeline.name;
        timeline.duration = jobTimeline.duration;
        timeline.pixelsPerSecond = jobTimeline.pixelsPerSecond.value_or(defaultPixelsPerSecond);
        for (const auto& jobClip : jobTimeline.clips) {
            if (auto clip = convertClip(jobClip, browserExport)) {
                timeline.clips.push_back(std::move(*clip));
            }
        }
        timeline.lockedTracks = jobTimeline.lockedTracks.value_or(std::vector<std::string>{});
        timeline.mutedTracks = jobTimeline.mutedTracks.value_or(std::vector<std::string>{});
        session.timelines.push_back(std::move(timeline));
    }

    if (session.sources.empty()) {
        session.syncSourcesFromTimelines();
    }
    session.normalizeClipIds();
    if (browserExport) {
        session.normalizeWebDesktopImportLayout();
    }
    session.normalizeAllClipTiming();
    return session;
}

std::optional<EditorJobV2::ClipGrade> EditSession::openedClipGrade(const EditorJobV2& job,
                                                                   const std::optional<EditorJobV2::ClipGrade>& grade)
{
    return gradeOnOpening(grade, isBrowserExport(job.tool));
}

std::optional<EditorJobV2::ClipGrade> EditSession::sanitizeWebImportClipGrade(const std::optional<EditorJobV2::ClipGrade>& grade)
{
    if (!grade) {
        return std::nullopt;
    }
    // Inline text the cube reader reads is kept whole, by the rule every route grades it by;
    // inline text it refuses is kept whole too where it stands for the clip's LUT (no file named
    // beside it), so that every route refuses it by name ("(Embedded LUT)") rather than one
    // dropping it and grading the clip without it.
    if (!LutResolving::usableInlineText(*grade).empty()) {
        return grade;
    }
    const bool inlineText = grade->lutData && !StringText::trimmedView(grade->lutData->str()).empty();
    if (inlineText && grade->hasLut != false && LutResolving::clipFileReferences(grade).empty()) {
        return grade;
    }
    const bool paramsMatter = gradeParamsMatter(grade->gradeParams);

    if (grade->hasLut.value_or(false)) {
        auto name = nonEmptyTrimmed(grade->lutFile);
        if (!name) {
            name = nonEmptyTrimmed(grade->lutName);
        }
        if (name) {
            // The reference is kept as written (".cube" added as the LUT lookup adds it): a file
            // installed under a name that only looks like it is never put in its place, so the
            // clip grades by the file it names or is refused by that name, on every route.
            if (name->find('.') == std::string::npos) {
                *name += ".cube";
            }
            EditorJobV2::ClipGrade result;
            result.hasLut = true;
            result.lutFile = *name;
            result.lutName = lastPathComponent(*name);
            result.lutStrength = grade->lutStrength.value_or(1.0);
            result.gradeParams = grade->gradeParams;
            return result;
        }
    }
    if (paramsMatter) {
        EditorJobV2::ClipGrade result;
        result.hasLut = false;
        result.lutStrength = grade->lutStrength;
        result.gradeParams = grade->gradeParams;
        return result;
    }
    return std::nullopt;
}

void EditSession::normalizeWebDesktopImportLayout()
{
    if (!isBrowserExport(tool)) {
        return;
    }
    for (auto& timeline : timelines) {
        std::vector<std::size_t> visual;
        for (std::size_t i = 0; i < timeline.clips.size(); ++i) {
            if (isVisualTimelineClip(timeline.clips[i])) {
                visual.push_back(i);
            }
        }
        std::stable_sort(visual.begin(), visual.end(), [&](std::size_t a, std::size_t b) {
            return timeline.clips[a].startTime.value_or(0) < timeline.clips[b].startTime.value_or(0);
        });
        for (std::size_t k = 1; k < visual.size(); ++k) {
            const Clip& previous = timeline.clips[visual[k - 1]];
            Clip& clip = timeline.clips[visual[k]];
            const double previousEnd = previous.startTime.value_or(0) + previous.duration.value_or(0);
            const double gap = clip.startTime.value_or(0) - previousEnd;
            if (gap > -largestClosedOverlap + boundTolerance && gap < largestClosedGap - boundTolerance) {
                clip.startTime = previousEnd;
            }
        }
    }
    recomputeTimelineDuration();
}

} // namespace velmora
