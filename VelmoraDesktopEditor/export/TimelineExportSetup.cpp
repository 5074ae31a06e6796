#include "export/TimelineExportSetup.h"

#include <malloc.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <tuple>
#include <vector>

#include "editing/PreviewFrameTiming.h"
#include "export/ClipSelection.h"
#include "export/JobFileReading.h"
#include "export/SourceFrameDecoding.h"
#include "export/TimelineAudioMix.h"
#include "export/TimelineExportState.h"
#include "export/TimelineFrameRenderer.h"
#include "export/WriterSettings.h"
#include "model/DesktopJobTool.h"
#include "model/EditSession.h"
#include "model/LutResolution.h"
#include "model/MediaResolver.h"
#include "model/ProjectLUTResolver.h"
#include "model/UnreadableMedia.h"
#include "platform/foundation/FrameRates.h"
#include "platform/foundation/RegularFiles.h"
#include "platform/foundation/StringText.h"
#include "platform/media/ImageGenerator.h"

namespace velmora::Exporter {

namespace {

constexpr int kMaximumListedMissing = 20;
// The longest export that can be counted in frames and stamped without overflow.
constexpr double kMaximumFrames = 1.0e12;

bool isHidden(const std::filesystem::path& path)
{
    const std::string name = path.filename().string();
    return !name.empty() && name.front() == '.';
}

void indexFolder(const std::filesystem::path& folder, std::map<std::string, std::filesystem::path>& index, int depth)
{
    if (depth > 64) {
        return;
    }
    std::error_code ec;
    std::filesystem::directory_iterator it(folder, ec);
    if (ec) {
        return;
    }
    std::vector<std::filesystem::directory_entry> entries;
    for (const auto end = std::filesystem::directory_iterator(); it != end; it.increment(ec)) {
        if (ec) {
            break;
        }
        entries.push_back(*it);
    }
    std::sort(entries.begin(), entries.end(),
              [](const auto& a, const auto& b) { return a.path().filename() < b.path().filename(); });
    for (const auto& entry : entries) {
        if (isHidden(entry.path())) {
            continue;
        }
        std::error_code statError;
        if (entry.is_symlink(statError)) {
            // Links to files count as files; links to folders are not followed (no cycles).
            if (std::filesystem::is_regular_file(entry.path(), statError)) {
                index.emplace(StringText::lowercased(StringText::trimmed(entry.path().filename().string())),
                              entry.path());
            }
            continue;
        }
        if (entry.is_directory(statError)) {
            indexFolder(entry.path(), index, depth + 1);
        } else if (entry.is_regular_file(statError)) {
            index.emplace(StringText::lowercased(StringText::trimmed(entry.path().filename().string())),
                          entry.path());
        }
    }
}

// A file name that stays inside the media folder when appended to it.
bool isContainedRelativeName(const std::string& fileName)
{
    const std::filesystem::path relative(fileName);
    if (fileName.empty() || relative.is_absolute() || relative.has_root_name()) {
        return false;
    }
    for (const auto& part : relative) {
        if (part == "..") {
            return false;
        }
    }
    return true;
}

std::string removingAll(std::string text, const std::string& pattern)
{
    for (std::size_t at = text.find(pattern); at != std::string::npos; at = text.find(pattern, at)) {
        text.erase(at, pattern.size());
    }
    return text;
}

bool isVisualType(const std::optional<std::string>& type)
{
    if (!type) {
        return false;
    }
    const std::string kind = StringText::lowercased(StringText::trimmed(*type));
    return kind == "video" || kind == "image";
}

} // namespace

std::string timelineGlobalLutText(const EditorJobV2& job, const std::optional<std::filesystem::path>& lutOverrideURL,
                                  const std::filesystem::path& mediaFolderURL,
                                  const std::optional<std::filesystem::path>& sessionFile)
{
    return timelineGlobalLutText(LutResolving::forJobReference(job.grade.lutCube, mediaFolderURL, sessionFile),
                                 lutOverrideURL);
}

std::string timelineGlobalLutText(const LutResolution& jobLut,
                                  const std::optional<std::filesystem::path>& lutOverrideURL)
{
    if (lutOverrideURL) {
        if (LutResolution chosen = LutResolving::forOverrideFile(*lutOverrideURL); chosen.grades()) {
            return std::move(chosen.text);
        }
    }
    return jobLut.grades() ? jobLut.text : std::string();
}

const EditorJobV2::Timeline* activeJobTimeline(const EditorJobV2& job)
{
    if (job.timelines.empty()) {
        return nullptr;
    }
    if (job.project && job.project->activeTimelineId) {
        for (const auto& timeline : job.timelines) {
            if (timeline.id == *job.project->activeTimelineId) {
                return &timeline;
            }
        }
    }
    return &job.timelines.front();
}

const EditorJobV2::Timeline& exportTimeline(const EditorJobV2& job)
{
    if (const EditorJobV2::Timeline* timeline = activeJobTimeline(job)) {
        return *timeline;
    }
    throw exportError(TimelineExportCode::noTimelines, "No timelines found in job.");
}

double timelineExportDuration(const EditorJobV2::Timeline& timeline)
{
    double maxEnd = 0;
    for (const auto& clip : timeline.clips) {
        const double end = clip.startTime.value_or(0) + clip.duration.value_or(0);
        if (std::isfinite(end)) {
            maxEnd = std::max(maxEnd, end);
        }
    }
    double duration = maxEnd;
    if (timeline.duration && std::isfinite(*timeline.duration)) {
        duration = std::max(maxEnd, *timeline.duration);
    }
    if (!(duration > 0)) {
        throw exportError(TimelineExportCode::zeroDuration, "Timeline duration is zero.");
    }
    return duration;
}

std::pair<int, int> timelineOutputSize(const EditorJobV2& job)
{
    const auto& output = job.output;
    const auto& project = job.project;
    const int width = output && output->width ? *output->width : (project && project->width ? *project->width : 1920);
    const int height =
        output && output->height ? *output->height : (project && project->height ? *project->height : 1080);
    return {width, height};
}

std::map<std::string, std::filesystem::path> mediaNameIndex(const std::filesystem::path& folder)
{
    std::map<std::string, std::filesystem::path> index;
    indexFolder(folder, index, 0);
    return index;
}

bool resolvesFolder(const ResolvedMedia* resolved, const std::filesystem::path& mediaFolderURL)
{
    return resolved && resolved->mediaFolder.lexically_normal() == mediaFolderURL.lexically_normal();
}

std::map<std::string, std::filesystem::path> resolveTimelineSourceFiles(const EditorJobV2& job,
                                                                         const std::filesystem::path& mediaFolderURL,
                                                                         const ResolvedMedia* resolved)
{
    if (resolvesFolder(resolved, mediaFolderURL)) {
        // A file gone since it was resolved is missing, as one never found is; one that is there
        // but cannot be read is refused by its reason later.
        std::map<std::string, std::filesystem::path> files;
        for (const auto& source : job.sources) {
            const auto found = resolved->files.find(source.id);
            std::error_code ec;
            if (found != resolved->files.end() && std::filesystem::exists(found->second, ec)) {
                files.emplace(source.id, found->second);
            }
        }
        return files;
    }
    // The listing and its tables (hundreds of thousands of paths in a crowded folder) live in
    // this scope only; their pages go back to the system before the export's frames take theirs.
    std::map<std::string, std::filesystem::path> byName = [&] {
        // Every regular file below the folder by name, read only when some source needs it: with a
        // large folder it is most of what an export holds beyond its pictures.
        std::optional<std::map<std::string, std::filesystem::path>> indexOfNames;
        const auto index = [&]() -> const std::map<std::string, std::filesystem::path>& {
            if (!indexOfNames) {
                indexOfNames = mediaNameIndex(mediaFolderURL);
            }
            return *indexOfNames;
        };
        MediaResolver::SourceFileMap sessionMap;
        try {
            sessionMap = MediaResolver::sourceFileMap(EditSession::fromEditorJobV2(job), mediaFolderURL);
        } catch (const std::exception&) {
            sessionMap.clear();
        }

        std::map<std::string, std::filesystem::path> files;
        for (const auto& source : job.sources) {
            if (files.count(source.id) != 0) {
                continue;
            }
            if (const auto found = sessionMap.find(source.id); found != sessionMap.end()) {
                files[source.id] = found->second;
                continue;
            }
            if (isContainedRelativeName(source.fileName)) {
                const auto direct = mediaFolderURL / source.fileName;
                if (RegularFiles::isRegularFile(direct)) {
                    files[source.id] = direct;
                    continue;
                }
            }
            const std::string key = StringText::lowercased(StringText::trimmed(source.fileName));
            if (const auto found = index().find(key); found != index().end()) {
                files[source.id] = found->second;
                continue;
            }
            const std::string plain =
                StringText::lowercased(StringText::trimmed(removingAll(source.fileName, " (Audio)")));
            if (const auto found = index().find(plain); found != index().end()) {
                files[source.id] = found->second;
            }
        }
        return files;
    }();
    malloc_trim(0);
    return byName;
}

namespace {

// Refuses the export when a used source's file is there but cannot be read, in the words the
// status line gives it.
void requireReadableSources(const std::vector<EditorJobV2::Source>& sources, const std::set<std::string>& usedIds,
                            const std::map<std::string, std::filesystem::path>& sourceFiles)
{
    std::vector<std::string> names;
    std::optional<std::string> firstReason;
    std::set<std::string> checked;
    for (const auto& source : sources) {
        const auto file = sourceFiles.find(source.id);
        if (!usedIds.contains(source.id) || file == sourceFiles.end() || !checked.insert(source.id).second) {
            continue;
        }
        if (std::optional<std::string> why = RegularFiles::unreadableReason(file->second)) {
            names.push_back(source.fileName);
            if (!firstReason) {
                firstReason = std::move(why);
            }
        }
    }
    if (firstReason) {
        throw exportError(TimelineExportCode::unreadableSources, UnreadableMedia::text(names, *firstReason));
    }
}

} // namespace

std::set<std::string> visualSourceIds(const EditorJobV2::Timeline& timeline)
{
    std::set<std::string> ids;
    for (const auto& clip : timeline.clips) {
        if (clip.sourceId && isVisualType(clip.type)) {
            ids.insert(*clip.sourceId);
        }
    }
    return ids;
}

void requireSourceFiles(const EditorJobV2& job, const EditorJobV2::Timeline& timeline,
                        const std::map<std::string, std::filesystem::path>& sourceFiles)
{
    std::set<std::string> usedIds = visualSourceIds(timeline);
    for (const auto& clip : timeline.clips) {
        if (isMixedAudioClip(clip)) {
            usedIds.insert(*clip.sourceId);
        }
    }
    const auto missing = missingSources(job.sources, usedIds, sourceFiles);
    if (missing.empty()) {
        requireReadableSources(job.sources, usedIds, sourceFiles);
        return;
    }
    std::string names;
    for (std::size_t i = 0; i < missing.size() && i < static_cast<std::size_t>(kMaximumListedMissing); ++i) {
        if (i > 0) {
            names += "\n";
        }
        names += missing[i].fileName;
    }
    throw exportError(TimelineExportCode::missingSources,
                      "Missing source files in Media Folder:\n" + names +
                          "\n\nTip: choose the top folder that contains your footage (subfolders are supported).");
}

std::string lutOverrideRefusal(const LutResolution& override)
{
    return LutResolving::overrideRefusal(override) + "\n\nTip: choose another LUT override, or none.";
}

bool isUsableLutOverride(const std::optional<std::filesystem::path>& lutOverrideURL)
{
    return lutOverrideURL && LutResolving::forOverrideFile(*lutOverrideURL).grades();
}

std::optional<EditorJobV2::ClipGrade> lutGrade(const EditorJobV2& job, const EditorJobV2::Clip& clip)
{
    return EditSession::openedClipGrade(job, clip.grade);
}

ResolvedLuts timelineLuts(const EditorJobV2& job, const EditorJobV2::Timeline& timeline,
                          const std::filesystem::path& mediaFolderURL,
                          const std::optional<std::filesystem::path>& sessionFile, const ResolvedLuts* given)
{
    ResolvedLuts luts;
    LutResolving::Cache lookUp(mediaFolderURL, sessionFile, true);
    // Answers given name the file a LUT's text is in; the text is read from it here.
    luts.job = given && given->job ? LutResolving::withText(*given->job) : lookUp.job(job.grade.lutCube);
    for (const auto& clip : timeline.clips) {
        if (!isVisualType(clip.type)) {
            continue;
        }
        const std::string key = clipLutKey(clip);
        if (luts.clips.contains(key)) {
            continue;
        }
        if (given) {
            if (const auto known = given->clips.find(key); known != given->clips.end()) {
                luts.clips.emplace(key, LutResolving::withText(known->second));
                continue;
            }
        }
        luts.clips.emplace(key, lookUp.clip(lutGrade(job, clip)));
    }
    return luts;
}

void requireLuts(const EditorJobV2::Timeline& timeline, const ResolvedLuts& luts,
                 const std::optional<std::filesystem::path>& lutOverrideURL)
{
    // An override chosen grades the whole job: one that cannot is refused by name, never left out.
    if (lutOverrideURL) {
        const LutResolution chosen = LutResolving::forOverrideFile(*lutOverrideURL);
        if (chosen.fails()) {
            throw exportError(TimelineExportCode::missingLuts, lutOverrideRefusal(chosen));
        }
    }
    std::vector<const LutResolution*> failing;
    std::set<std::string> named;
    const auto note = [&](const LutResolution& answer) {
        if (answer.fails() && named.insert(answer.description()).second) {
            failing.push_back(&answer);
        }
    };
    if (luts.job) {
        note(*luts.job);
    }
    for (const auto& clip : timeline.clips) {
        if (!isVisualType(clip.type)) {
            continue;
        }
        if (const auto answer = luts.clips.find(clipLutKey(clip)); answer != luts.clips.end()) {
            note(answer->second);
        }
    }
    if (failing.size() > static_cast<std::size_t>(kMaximumListedMissing)) {
        failing.resize(kMaximumListedMissing);
    }
    // A usable override grades the job and every clip without a LUT of its own in their place.
    if (failing.empty() || isUsableLutOverride(lutOverrideURL)) {
        return;
    }
    std::string missing;
    std::string unusable;
    for (const LutResolution* answer : failing) {
        std::string& list = answer->kind == LutResolution::Kind::missing ? missing : unusable;
        list += (list.empty() ? "" : "\n") + answer->description();
    }
    std::string text = missing.empty() ? std::string() : "Missing LUT files:\n" + missing;
    if (!unusable.empty()) {
        text += (text.empty() ? "" : "\n\n") + unusable;
    }
    // The tips fit the failures: a missing file is to be put where it is looked for, a file that
    // is there but unusable to be replaced. No route that refuses a timeline job offers a LUT
    // override, so neither names one.
    text += "\n";
    if (!missing.empty()) {
        text += "\nTip: put each .cube file in the Media Folder or its luts folder, or choose another LUT.";
    }
    if (!unusable.empty()) {
        text += "\nTip: replace each unusable LUT with a usable .cube file, or choose another LUT.";
    }
    throw exportError(TimelineExportCode::missingLuts, text);
}

std::map<std::string, ExportSource> openExportSources(const std::set<std::string>& visualIds,
                                                      const std::map<std::string, std::filesystem::path>& sourceFiles,
                                                      int width, int height)
{
    std::map<std::string, ExportSource> sources;
    for (const auto& id : visualIds) {
        const auto file = sourceFiles.find(id);
        if (file == sourceFiles.end()) {
            continue;
        }
        ExportSource source;
        source.asset = Asset::open(file->second);
        source.videoTrack = source.asset->firstTrack(MediaType::video);
        if (source.videoTrack) {
            source.transform = source.videoTrack->preferredTransform;
        }
        const double duration = source.asset->durationSeconds();
        if (std::isfinite(duration) && duration > 0.05) {
            source.duration = duration;
        }
        try {
            source.generator = std::make_shared<ImageGenerator>(source.asset);
            // Large enough to fill the frame without enlarging, and no larger: a huge still is
            // decoded at about the output's size.
            if (source.videoTrack) {
                std::tie(source.generator->maximumWidth, source.generator->maximumHeight) =
                    fillingSize(std::abs(source.videoTrack->displayWidth()),
                                std::abs(source.videoTrack->displayHeight()), width, height);
            } else {
                source.generator->maximumWidth = width;
                source.generator->maximumHeight = height;
            }
            source.generator->appliesPreferredTrackTransform = true;
        } catch (const Error&) {
            source.generator.reset(); // no picture in the file: its clips show black
        }
        sources.emplace(id, std::move(source));
    }
    return sources;
}

void setGeneratorTolerance(std::map<std::string, ExportSource>& sources, const FrameTiming& timing)
{
    const MediaTime tolerance(std::max<std::int64_t>(timing.step / 2, 1), timing.timescale);
    for (auto& [id, source] : sources) {
        if (source.generator) {
            source.generator->requestedTimeToleranceBefore = tolerance;
            source.generator->requestedTimeToleranceAfter = tolerance;
        }
    }
}

FrameTiming timelineFrameTiming(const EditorJobV2& job, const Asset* anyAsset)
{
    double fps = defaultFrameRate;
    if (job.output && job.output->fps) {
        fps = *job.output->fps;
    }
    if (job.project && job.project->fps) {
        fps = *job.project->fps;
    }
    requireExportableFps(fps);
    if (job.output && job.output->fps) {
        requireExportableFps(*job.output->fps);
    }
    // A document this editor wrote runs where the editor runs it: at the default rate when it
    // states no usable one. A browser job of no rate takes one from its output or its footage.
    if (fps <= 0 && DesktopJobTool::isWrittenByThisEditor(job.tool)) {
        fps = projectFrameRate(fps);
    }
    FrameTiming timing;
    if (fps <= 0) {
        // From the output's exact fraction or a source: checked again, as neither was above.
        timing = resolveFps(anyAsset, job.output);
    } else {
        timing = fpsToTimebase(fps);
        timing.fps = fps;
    }
    requireExportableFps(timing.fps);
    return timing;
}

std::int64_t timelineFramesTotal(double duration, const FrameTiming& timing)
{
    // Counted on the grid the monitor's playhead stops on (FrameGrid::lastFrame), so that both
    // end on the same frame.
    const double frames = FrameGrid{{timing.step, timing.timescale}}.frameCount(duration);
    if (!std::isfinite(frames) || frames > kMaximumFrames) {
        throw exportError(TimelineExportCode::invalidFrameRate, "The timeline is too long to export.");
    }
    return std::max<std::int64_t>(1, static_cast<std::int64_t>(frames));
}

std::int64_t timelineBitrate(std::optional<std::int64_t> bitrateOverrideBps, const EditorJobV2& job, int width,
                             int height, double fps)
{
    requireExportableBitrate(bitrateOverrideBps);
    if (bitrateOverrideBps) {
        return *bitrateOverrideBps;
    }
    if (job.output && job.output->targetBitrate) {
        return *job.output->targetBitrate;
    }
    const double bits = static_cast<double>(height) * static_cast<double>(width) * 150000000.0 / 8294400.0 * fps / 59.94;
    if (!std::isfinite(bits) || bits >= 9.0e18) {
        return std::numeric_limits<std::int64_t>::max();
    }
    return static_cast<std::int64_t>(bits);
}

std::map<std::string, std::string> timelineClipLutTexts(const ResolvedLuts& luts)
{
    std::map<std::string, std::string> texts;
    for (const auto& [key, answer] : luts.clips) {
        if (answer.grades()) {
            texts.emplace(key, answer.text);
        }
    }
    return texts;
}

} // namespace velmora::Exporter
