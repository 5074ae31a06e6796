#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <set>
#include <string>

#include "export/ClipFrameReaders.h"
#include "export/FrameTiming.h"
#include "export/WriterSettings.h"
#include "model/EditorJobV2.h"
#include "model/ResolvedMedia.h"
#include "model/LutResolution.h"

// The steps of a timeline export's set-up that decide what will be rendered, before any output
// is touched. Each throws the export's own error (domain "export") or passes the failing
// library's error through.
namespace velmora::Exporter {

// The job-wide LUT text: a readable override file with usable .cube text; else the job's own
// LUT (LutResolving::forJobReference, looked up in the media folder and beside the session
// file) when it grades; else nothing (the empty text). A job LUT that fails is refused by
// requireLuts, not left out here.
std::string timelineGlobalLutText(const EditorJobV2& job, const std::optional<std::filesystem::path>& lutOverrideURL,
                                  const std::filesystem::path& mediaFolderURL,
                                  const std::optional<std::filesystem::path>& sessionFile);
std::string timelineGlobalLutText(const LutResolution& jobLut,
                                  const std::optional<std::filesystem::path>& lutOverrideURL);

// The timeline the project names active, else the first; nothing when the job has none.
const EditorJobV2::Timeline* activeJobTimeline(const EditorJobV2& job);

// The timeline to export: activeJobTimeline. Throws Error("export", 210) when the job has none.
const EditorJobV2::Timeline& exportTimeline(const EditorJobV2& job);

// The length of the export: the latest clip end, or the timeline's duration when that is
// longer. Throws Error("export", 211) when it is not above 0.
double timelineExportDuration(const EditorJobV2::Timeline& timeline);

// The output size: the output's, else the project's, else 1920 × 1080.
std::pair<int, int> timelineOutputSize(const EditorJobV2& job);

// The lower-cased, trimmed file name of every regular file under `folder` (subfolders
// entered, hidden files and folders skipped; entries by name) to its path; the first file of
// a name wins. Empty when the folder cannot be read.
std::map<std::string, std::filesystem::path> mediaNameIndex(const std::filesystem::path& folder);

// Source id to file, for every job source a file is found for: the files each export route and
// the job preview open. With `resolved` for this folder, exactly its files (a source it has no
// file for, or whose file is gone since, has none), listing no folder; without, the media resolver's choice, else the
// regular file (or link to one) of that name directly in the folder, else by name anywhere
// below it (also with " (Audio)" taken out of the name).
std::map<std::string, std::filesystem::path> resolveTimelineSourceFiles(const EditorJobV2& job,
                                                                         const std::filesystem::path& mediaFolderURL,
                                                                         const ResolvedMedia* resolved = nullptr);

// Whether `resolved` answers for `mediaFolderURL`: given, and resolved in that folder.
bool resolvesFolder(const ResolvedMedia* resolved, const std::filesystem::path& mediaFolderURL);

// The ids of the sources that video and image clips show.
std::set<std::string> visualSourceIds(const EditorJobV2::Timeline& timeline);

// Throws Error("export", 212) naming (up to 20 of) the job's sources without a file that the
// timeline's picture (visualSourceIds) or sound (the clips the audio mix places) needs, in job
// order. A sound file gone from the media folder is refused as a picture file is: left out, the
// export would end as if complete with its sound missing. A file that is there but cannot be
// read (RegularFiles::unreadableReason) refuses the export with Error("export", 215) in the
// status line's words: "Cannot read b.mp4 (Input/output error)".
void requireSourceFiles(const EditorJobV2& job, const EditorJobV2::Timeline& timeline,
                        const std::map<std::string, std::filesystem::path>& sourceFiles);

// The words every route refuses a LUT override with that grades nothing (a chosen override is
// taken as LutResolving::forOverrideFile answers it): LutResolving::overrideRefusal and a tip.
std::string lutOverrideRefusal(const LutResolution& override);

// Whether the LUT override can grade: a readable file holding usable .cube text.
bool isUsableLutOverride(const std::optional<std::filesystem::path>& lutOverrideURL);

// The grade a job clip's LUT is found from: the grade the opened job holds
// (EditSession::openedClipGrade, which keeps a LUT reference and inline text as written, usable
// or not), so that the export and the editor answer one clip's LUT alike.
std::optional<EditorJobV2::ClipGrade> lutGrade(const EditorJobV2& job, const EditorJobV2::Clip& clip);

// The LUT answers of a timeline export: the job's own LUT and each video and image clip's, by
// clip key (the first clip of a key decides; its lutGrade looked up by the editor's own rule,
// LutResolving). Answers `given` holds (the editor's own, decided once) are taken as they are;
// the rest are looked up now, each file reference once.
ResolvedLuts timelineLuts(const EditorJobV2& job, const EditorJobV2::Timeline& timeline,
                          const std::filesystem::path& mediaFolderURL,
                          const std::optional<std::filesystem::path>& sessionFile,
                          const ResolvedLuts* given = nullptr);

// Throws Error("export", 214) naming (up to 20 of) the LUTs that the job and the timeline's
// video and image clips name and that grade nothing, each once, the job's first, then in
// timeline order: missing ones under "Missing LUT files:", unusable ones saying why. Left out,
// such a clip would be written without its look while the export ends as if complete. A usable
// LUT override grades in their place, so with one nothing is refused; a LUT override chosen that
// cannot be used is refused first, by name (LutResolving::overrideRefusal).
void requireLuts(const EditorJobV2::Timeline& timeline, const ResolvedLuts& luts,
                 const std::optional<std::filesystem::path>& lutOverrideURL);

// Opens each visual source: its asset, first video track, orientation, image generator (at
// most width × height, orientation applied) and duration. A file that cannot be opened fails
// the export with the media layer's error, which names the file.
std::map<std::string, ExportSource> openExportSources(const std::set<std::string>& visualIds,
                                                      const std::map<std::string, std::filesystem::path>& sourceFiles,
                                                      int width, int height);

// Sets the generators' time tolerance before and after to half a frame of `timing`, at least
// one tick of its timescale.
void setGeneratorTolerance(std::map<std::string, ExportSource>& sources, const FrameTiming& timing);

// The rate and time base a timeline job exports at, for the timeline export and the fast
// single-clip path alike: the project's rate, else the output's, else 59.94; one not above 0 is
// 59.94 in a document this editor wrote (DesktopJobTool::isWrittenByThisEditor), else resolved
// from the output (fpsNum / fpsDen) or `anyAsset`. Throws Error("export", 213) for a
// rate that is not finite or too high to time frames with.
FrameTiming timelineFrameTiming(const EditorJobV2& job, const Asset* anyAsset);

// Frames of `duration` seconds at `timing`: rounded to the nearest frame, at least 1. Throws
// Error("export", 213) for a length that cannot be counted in frames.
std::int64_t timelineFramesTotal(double duration, const FrameTiming& timing);

// The video bit rate: the override, else the job's target, else 150 Mb/s scaled from
// 3840 × 2160 at 59.94 fps by pixel count and frame rate. An override out of range throws
// (requireExportableBitrate); a job's target was refused when the job was read.
std::int64_t timelineBitrate(std::optional<std::int64_t> bitrateOverrideBps, const EditorJobV2& job, int width,
                             int height, double fps);

// The clip LUT texts by clip key (the id, else source id "|" start) of the clips whose LUT
// grades: timelineLuts' answers. Video and image clips only; the first clip of a key decides.
std::map<std::string, std::string> timelineClipLutTexts(const ResolvedLuts& luts);

} // namespace velmora::Exporter
