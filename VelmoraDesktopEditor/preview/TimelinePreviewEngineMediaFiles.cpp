// The source files of the installed preview, and the word the status line and the media pool
// give about a file that cannot be read, whether found by the build or by the player or a
// still request failing on it later.

#include "preview/TimelinePreviewEngine.h"

#include <map>
#include <memory>
#include <set>
#include <string_view>
#include <utility>
#include <vector>

#include <QPointer>

#include "grading/ClipGradeEditState.h"
#include "grading/PreviewFrameGrader.h"
#include "model/MediaResolver.h"
#include "model/ProjectLUTResolver.h"
#include "preview/PreviewSourceMedia.h"
#include "preview/StatusText.h"

namespace velmora {

namespace {

const EditSession::Source* sourceWithId(const EditSession& session, const std::string& id)
{
    for (const EditSession::Source& source : session.sources) {
        if (source.id == id) {
            return &source;
        }
    }
    return nullptr;
}

// The system's reason when the file cannot be opened at all (through the injected check when
// there is one); none when it can.
std::optional<std::string> openingFailure(const MediaResolver::ReadabilityCheck& check,
                                          const std::filesystem::path& file)
{
    return check ? check(file) : MediaResolver::unreadableReason(file);
}

// When the file was last changed; none where that cannot be told.
std::optional<std::filesystem::file_time_type> lastChange(const std::filesystem::path& file)
{
    std::error_code ec;
    const std::filesystem::file_time_type time = std::filesystem::last_write_time(file, ec);
    return ec ? std::nullopt : std::optional(time);
}

} // namespace

void TimelinePreviewEngine::keepSourceFileMap(PreviewComposition& composition)
{
    sourceFiles_.installed = std::move(composition.sourceFiles);
    sourceFiles_.installedSession = session_;
    sourceFiles_.installedRevision = timelineRevision_;
    sourceFiles_.installedFolder = mediaFolderURL_;
}

bool TimelinePreviewEngine::installedFilesHold() const
{
    return avPlayer_ && !compositionBuilding_ && sourceFiles_.installedSession.lock() == session_ &&
           sourceFiles_.installedRevision == timelineRevision_ && sourceFiles_.installedFolder == mediaFolderURL_;
}

const MediaResolver::SourceFileMap* TimelinePreviewEngine::filesWithKnownEnds() const
{
    if (installedFilesHold()) {
        return &sourceFiles_.installed;
    }
    // The failed build's session, timeline and folder (kept as an installed build's), and the map
    // whose files were read after it: asked on every playhead move, so told by numbers, never by
    // going over the sources.
    const bool failedBuildHolds = !avPlayer_ && !compositionBuilding_ && sourceFiles_.headersReadForMap
        && *sourceFiles_.headersReadForMap == sourceFiles_.resolvedNumber && resolvedFilesHold()
        && sourceFiles_.installedSession.lock() == session_ && sourceFiles_.installedRevision == timelineRevision_
        && sourceFiles_.installedFolder == mediaFolderURL_;
    return failedBuildHolds ? &*sourceFiles_.resolved->files : nullptr;
}

std::map<std::string, SourceVideo> TimelinePreviewEngine::knownSourceVideo(const std::vector<ClipTiming>& clips) const
{
    std::map<std::string, SourceVideo> sources;
    const MediaResolver::SourceFileMap* files = filesWithKnownEnds();
    if (!files) {
        return sources;
    }
    const MediaHeaders& headers = sourceFiles_.headers;
    for (const ClipTiming& clip : clips) {
        if (!clip.sourceId || sources.contains(*clip.sourceId)) {
            continue;
        }
        const auto file = files->find(*clip.sourceId);
        if (file == files->end()) {
            continue;
        }
        if (const auto header = headers.find(file->second.native()); header != headers.end() && header->second) {
            sources.emplace(*clip.sourceId, SourceVideo::of(*header->second));
        }
    }
    return sources;
}

void TimelinePreviewEngine::readHeadersAfterFailure()
{
    const EditSession::Timeline* timeline = session_ ? session_->findActiveTimeline() : nullptr;
    if (!timeline || !resolvedFilesHold()) {
        return;
    }
    // The files the build would have read: those of the clips' sources the map found.
    const MediaResolver::SourceFileMap& files = *sourceFiles_.resolved->files;
    std::vector<std::filesystem::path> read;
    std::set<std::string_view> seen;
    for (const EditSession::Clip& clip : timeline->clips) {
        const auto file = clip.sourceId ? files.find(*clip.sourceId) : files.end();
        if (file != files.end() && seen.insert(file->second.native()).second) {
            read.push_back(file->second);
        }
    }
    if (read.empty()) {
        return;
    }
    QPointer<TimelinePreviewEngine> self(this);
    runInBackground([self, queue = mainQueue_, read = std::move(read), readable = readabilityCheck_,
                     generation = rebuildGeneration_, map = sourceFiles_.resolvedNumber] {
        AssetCache cache;
        cache.openAll(read, {}, readable, [] {});
        queue->post([self, generation, map, headers = cache.take()]() mutable {
            // A build or a map asked for since answers for itself.
            if (!self || self->rebuildGeneration_ != generation || self->sourceFiles_.resolvedNumber != map
                || self->avPlayer_ || self->compositionBuilding_) {
                return;
            }
            self->sourceFiles_.headers = std::move(headers);
            self->sourceFiles_.headersReadForMap = map;
            // The paused clip may now be black past its file's end, and its LUT no longer said.
            self->refreshStatus();
            emit self->sourceFilesResolved();
        });
    });
}

void TimelinePreviewEngine::keepResolvedFiles(std::uint64_t number, std::weak_ptr<const EditSession> session,
                                              std::filesystem::path folder, MediaResolver::ResolutionInputs inputs,
                                              std::optional<MediaResolver::SourceFileMap> files, std::string standIns)
{
    // An older build's map arriving late would undo a newer one.
    if (number != sourceFiles_.resolvedNumber) {
        return;
    }
    sourceFiles_.resolved = PreviewSourceFiles::Resolved{std::move(session), std::move(folder), std::move(inputs),
                                                         std::move(files), std::move(standIns)};
    if (resolvedFilesHold()) {
        // The files shown in place of missing ones are named from now on.
        refreshStatus();
        emit sourceFilesResolved();
    }
}

bool TimelinePreviewEngine::resolvedFilesHold() const
{
    return session_ && mediaFolderURL_ && sourceFiles_.resolved && sourceFiles_.resolved->files
        && sourceFiles_.resolved->session.lock() == session_ && sourceFiles_.resolved->folder == *mediaFolderURL_;
}

const MediaResolver::SourceFileMap* TimelinePreviewEngine::newestResolvedFiles() const
{
    if (resolvedFilesHold()) {
        return &*sourceFiles_.resolved->files;
    }
    return installedFilesHold() ? &sourceFiles_.installed : nullptr;
}

std::optional<ResolvedMedia> TimelinePreviewEngine::resolvedMedia() const
{
    if (resolvedFilesHold() && sourceFiles_.resolved->inputs == MediaResolver::resolutionInputs(*session_)) {
        return ResolvedMedia{sourceFiles_.resolved->folder, *sourceFiles_.resolved->files};
    }
    // The installed build was made from the session as it is now (its timeline revision).
    if (!resolvedFilesHold() && installedFilesHold()) {
        return ResolvedMedia{*mediaFolderURL_, sourceFiles_.installed};
    }
    return std::nullopt;
}

std::optional<MediaResolver::SourceFileMap> TimelinePreviewEngine::sourceFilesShown() const
{
    std::optional<ResolvedMedia> media = resolvedMedia();
    if (!media) {
        return std::nullopt;
    }
    return std::move(media->files);
}

void TimelinePreviewEngine::keepSourceFiles(PreviewComposition& composition)
{
    const bool changed = unreadableSources_ != composition.unreadableSources;
    unreadableSources_ = std::move(composition.unreadableSources);
    if (avPlayer_) {
        QPointer<TimelinePreviewEngine> self(this);
        std::weak_ptr<PreviewPlayer> player = avPlayer_;
        avPlayer_->setMediaFailureHandler([self, player](const std::filesystem::path& file, const Error& error) {
            // A failure of a player since replaced says nothing about the files of this one.
            if (self && !player.expired() && player.lock() == self->avPlayer_) {
                self->reportUnreadableMedia(file, error.localizedDescription());
            }
        });
    }
    // The files the build could not read stand named in front of its outcome.
    if (changed) {
        refreshStatus();
        emit unreadableSourcesChanged();
    }
    lookUpMissingClipLuts();
}

void TimelinePreviewEngine::lookUpMissingClipLuts()
{
    const EditSession::Timeline* timeline = session_ ? session_->findActiveTimeline() : nullptr;
    if (!timeline) {
        return;
    }
    // Only the clips whose grade may name a LUT are handed over, each as its id and the fields
    // that say which LUT grades it: this runs as a build is installed, on the main thread, for
    // tens of thousands of clips. The look-up reads files, so it runs on the background runner,
    // never on the main thread where one is given, and only once the first picture is shown.
    struct GradedClip {
        std::string id;
        std::optional<EditorJobV2::ClipGrade> lut;
    };
    auto graded = std::make_shared<std::vector<GradedClip>>();
    for (const EditSession::Clip& clip : timeline->clips) {
        if (clip.grade && clip.grade->hasLut != false && EditSession::isVisualTimelineClip(clip)) {
            EditorJobV2::ClipGrade lut;
            lut.hasLut = clip.grade->hasLut;
            lut.lutData = clip.grade->lutData;
            lut.lutFile = clip.grade->lutFile;
            lut.lutName = clip.grade->lutName;
            graded->push_back({clip.id, std::move(lut)});
        }
    }
    const std::uint64_t number = ++luts_.missingClipLutsNumber;
    std::optional<std::string> projectLut;
    if (session_->grade) {
        projectLut = session_->grade->lutCube;
    }
    bool projectNamesFile = false;
    LutResolving::forJobReference(projectLut, [&](const std::string&) {
        projectNamesFile = true;
        return LutResolution{};
    });
    // The names the pickers offer, each looked up as a clip naming it would be, so that every
    // picker marks a listed LUT that grades nothing, not only the one a clip holds.
    auto listed = std::make_shared<std::vector<std::string>>();
    for (const std::string& name : lutNames_->names()) {
        if (!ProjectLUTResolver::isExplicitNoLut(name)) {
            listed->push_back(name);
        }
    }
    if (graded->empty() && luts_.missingClipLuts.empty() && !projectNamesFile && listed->empty()
        && luts_.listedLuts.empty()) {
        return;
    }
    QPointer<TimelinePreviewEngine> self(this);
    auto work = [self, number, graded, listed, projectLut, queue = mainQueue_, answers = lutAnswers()] {
        ListedLutMarks marks;
        for (const std::string& name : *listed) {
            const LutPickerValue value = LutResolving::pickerValue(answers->clipAnswer(EditSession::clipGrade(name)));
            if (value.missing || value.unusable) {
                marks.emplace(name, value);
            }
        }
        std::map<std::string, PreviewLutFindings::MissingClipLut> found;
        // With its text: the project LUT is the job LUT every export of the session grades with.
        LutResolution project = answers->job(projectLut);
        for (const GradedClip& clip : *graded) {
            const LutResolution answer = answers->clipAnswer(clip.lut);
            if (answer.fails()) {
                found.emplace(clip.id, PreviewLutFindings::MissingClipLut{
                                           answer.name, ClipGradeEditState::fromGrade(clip.lut).lutReference,
                                           answer.kind == LutResolution::Kind::unusable});
            }
        }
        queue->post([self, number, found = std::move(found), marks = std::move(marks), projectLut,
                     project = std::move(project)]() mutable {
            if (!self || number != self->luts_.missingClipLutsNumber) {
                return;
            }
            self->luts_.missingClipLuts = std::move(found);
            self->luts_.listedLuts = std::move(marks);
            if (projectLut.value_or("") == self->projectLutReference_ && project != self->luts_.projectLut) {
                self->luts_.projectLut = std::move(project);
                self->setProjectLutCube(self->luts_.projectLut.grades() ? self->luts_.projectLut.text : std::string());
                PreviewFrameGrader::invalidateProjectLutCache();
            }
            // The LUT words and the grade word say what the answers now say.
            self->refreshStatus();
            emit self->missingLutsChanged();
        });
    };
    whenPictureShown([self, number, work = std::move(work)]() mutable {
        if (self && number == self->luts_.missingClipLutsNumber) {
            self->runInBackground(std::move(work));
        }
    });
}

std::optional<std::string> TimelinePreviewEngine::missingLutOfClip(const std::string& clipId) const
{
    const auto found = luts_.missingClipLuts.find(clipId);
    if (found == luts_.missingClipLuts.end() || !session_
        || session_->clipLutReference(clipId) != found->second.reference) {
        return std::nullopt;
    }
    return found->second.name;
}

const std::shared_ptr<LutResolving::Cache>& TimelinePreviewEngine::lutAnswers() const
{
    return lutAnswers_.answersFor(mediaFolderURL_, sessionFileURL_);
}

std::uint64_t TimelinePreviewEngine::lutAnswersNumber() const
{
    lutAnswers();
    return lutAnswers_.number();
}

std::uint64_t TimelinePreviewEngine::lutAnswersNumber(const std::optional<EditorJobV2::ClipGrade>& grade) const
{
    lutAnswers();
    return lutAnswers_.numberFor(grade);
}

std::optional<ResolvedLuts> TimelinePreviewEngine::resolvedLuts(const std::filesystem::path& mediaFolder,
                                                                const std::optional<std::filesystem::path>& sessionFile) const
{
    const EditSession::Timeline* timeline = session_ ? session_->findActiveTimeline() : nullptr;
    if (!timeline || mediaFolderURL_ != mediaFolder || sessionFileURL_ != sessionFile) {
        return std::nullopt;
    }
    const LutResolving::Cache& answers = *lutAnswers();
    ResolvedLuts luts;
    bool unknown = false;
    luts.job = LutResolving::forJobReference(session_->grade ? session_->grade->lutCube : std::nullopt,
                                             [&](const std::string& reference) {
                                                 std::optional<LutResolution> known = answers.known(reference);
                                                 unknown = unknown || !known;
                                                 return known.value_or(LutResolution{});
                                             });
    for (const EditSession::Clip& clip : timeline->clips) {
        if (!EditSession::isVisualTimelineClip(clip) || luts.clips.contains(clip.id)) {
            continue;
        }
        std::optional<LutResolution> answer = PreviewLutFindings::knownLut(answers, clip.grade);
        if (!answer) {
            return std::nullopt;
        }
        luts.clips.emplace(clip.id, std::move(*answer));
    }
    if (unknown) {
        return std::nullopt;
    }
    return luts;
}

std::optional<std::string> TimelinePreviewEngine::unreadableMediaText() const
{
    if (unreadableSources_.empty() || !session_) {
        return std::nullopt;
    }
    std::vector<std::string> names;
    const std::string* reason = nullptr;
    for (const EditSession::Source& source : session_->sources) {
        if (const auto unreadable = unreadableSources_.find(source.id); unreadable != unreadableSources_.end()) {
            names.push_back(source.fileName);
            // The first file named gives the reason.
            reason = reason ? reason : &unreadable->second;
        }
    }
    if (!reason) {
        return std::nullopt;
    }
    return StatusText::unreadableMedia(names, *reason);
}

void TimelinePreviewEngine::revisitUnreadableMediaAt(double at)
{
    // A build putting its player where the playhead was is no move of the user's.
    if (!isPlaying_ && !installingComposition_) {
        luts_.pausedAt = at;
        luts_.pausedNews = statusLine_.newsNumber();
    }
    // The paused clip, and with it its LUT and the grade word, may be another; no answer the
    // standing warnings come from changed.
    redrawStatus();
    if (unreadableSources_.empty() || installingComposition_ || compositionBuilding_ || isPlaying_) {
        return;
    }
    const std::optional<EditSession::Clip> clip = clipForPausedGrade(at);
    if (!clip || !clip->sourceId) {
        return;
    }
    const auto known = unreadableSources_.find(*clip->sourceId);
    const auto file = sourceFiles_.installed.find(*clip->sourceId);
    if (known == unreadableSources_.end() || file == sourceFiles_.installed.end()) {
        return;
    }
    const EditSession::Source* source = sourceWithId(*session_, *clip->sourceId);
    if (!source) {
        return;
    }
    const std::optional<std::string> why = openingFailure(readabilityCheck_, file->second);
    if (why) {
        // Still named on the status line, with the reason the system gives now.
        if (known->second != *why) {
            known->second = *why;
            refreshStatus();
            emit unreadableSourcesChanged();
        }
        return;
    }
    // A file that opens but did not decode decodes no better unchanged: it stays named, and only
    // a changed file is given another build.
    auto& undecodable = sourceFiles_.undecodable;
    if (const auto failed = undecodable.find(*clip->sourceId); failed != undecodable.end()) {
        if (failed->second.first == file->second && failed->second.second == lastChange(file->second)) {
            return;
        }
        undecodable.erase(failed);
    }
    // The player left the file out, or gave up on it, for as long as it plays this item: a new
    // build takes it in again, where the playhead is.
    unreadableSources_.erase(known);
    refreshStatus();
    emit unreadableSourcesChanged();
    rebuildComposition(true, std::nullopt, false);
}

void TimelinePreviewEngine::reportUnreadableMedia(const std::filesystem::path& file, const std::string& failure)
{
    if (!session_) {
        return;
    }
    for (const auto& [sourceId, sourceFile] : sourceFiles_.installed) {
        if (sourceFile != file) {
            continue;
        }
        const EditSession::Source* source = sourceWithId(*session_, sourceId);
        if (!source) {
            return;
        }
        // The system's reason when the file cannot be opened at all; else what reading it met.
        const std::optional<std::string> why = openingFailure(readabilityCheck_, file);
        if (!why && failure.empty()) {
            return; // readable, and nothing else to say
        }
        if (why) {
            sourceFiles_.undecodable.erase(sourceId);
        } else {
            sourceFiles_.undecodable[sourceId] = {file, lastChange(file)};
        }
        // Named on the status line from now on, in front of what it said.
        const std::string reason = why.value_or(failure);
        const auto [kept, added] = unreadableSources_.try_emplace(sourceId, reason);
        if (added || kept->second != reason) {
            kept->second = reason;
            refreshStatus();
            emit unreadableSourcesChanged();
        }
        return;
    }
}

} // namespace velmora
