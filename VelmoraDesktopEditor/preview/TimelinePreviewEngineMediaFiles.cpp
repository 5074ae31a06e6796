// The source files of the installed preview, and the word the status line and the media pool
// give about a file that cannot be read, whether found by the build or by the player or a
// still request failing on it later.

#include "preview/TimelinePreviewEngine.h"

#include <vector>

#include "model/MediaResolver.h"
#include "preview/StatusText.h"

namespace velmora {

void TimelinePreviewEngine::keepSourceFileMap(PreviewComposition& composition)
{
    sourceFiles_ = std::move(composition.sourceFiles);
    sourceFilesSession_ = session_;
    sourceFilesRevision_ = timelineRevision_;
    sourceFilesFolder_ = mediaFolderURL_;
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
    if (const std::optional<std::string> unreadable = unreadableMediaText()) {
        setStatus(status_ + " · " + *unreadable);
    }
    if (changed) {
        emit unreadableSourcesChanged();
    }
}

std::optional<std::string> TimelinePreviewEngine::unreadableMediaText() const
{
    if (unreadableSources_.empty() || !session_) {
        return std::nullopt;
    }
    std::vector<std::string> names;
    for (const EditSession::Source& source : session_->sources) {
        if (unreadableSources_.contains(source.id)) {
            names.push_back(source.fileName);
        }
    }
    if (names.empty()) {
        return std::nullopt;
    }
    return StatusText::unreadableMedia(names, unreadableSources_.begin()->second);
}

void TimelinePreviewEngine::revisitUnreadableMediaAt(double at)
{
    if (unreadableSources_.empty() || installingComposition_ || compositionBuilding_ || isPlaying_) {
        return;
    }
    const std::optional<EditSession::Clip> clip = clipForPausedGrade(at);
    if (!clip || !clip->sourceId) {
        return;
    }
    const auto known = unreadableSources_.find(*clip->sourceId);
    const auto file = sourceFiles_.find(*clip->sourceId);
    if (known == unreadableSources_.end() || file == sourceFiles_.end()) {
        return;
    }
    const EditSession::Source* source = nullptr;
    for (const EditSession::Source& candidate : session_->sources) {
        if (candidate.id == *clip->sourceId) {
            source = &candidate;
            break;
        }
    }
    if (!source) {
        return;
    }
    const std::optional<std::string> why =
        readabilityCheck_ ? readabilityCheck_(file->second) : MediaResolver::unreadableReason(file->second);
    if (why) {
        if (known->second != *why) {
            known->second = *why;
            emit unreadableSourcesChanged();
        }
        setStatus(StatusText::unreadableMedia({source->fileName}, *why));
        return;
    }
    // The player left the file out, or gave up on it, for as long as it plays this item: a new
    // build takes it in again, where the playhead is.
    unreadableSources_.erase(known);
    emit unreadableSourcesChanged();
    rebuildComposition(true, std::nullopt, false);
}

void TimelinePreviewEngine::reportUnreadableMedia(const std::filesystem::path& file, const std::string& failure)
{
    if (!session_) {
        return;
    }
    for (const auto& [sourceId, sourceFile] : sourceFiles_) {
        if (sourceFile != file) {
            continue;
        }
        const EditSession::Source* source = nullptr;
        for (const EditSession::Source& candidate : session_->sources) {
            if (candidate.id == sourceId) {
                source = &candidate;
            }
        }
        if (!source) {
            return;
        }
        // The system's reason when the file cannot be opened at all; else what reading it met.
        const std::optional<std::string> why =
            readabilityCheck_ ? readabilityCheck_(file) : MediaResolver::unreadableReason(file);
        if (!why && failure.empty()) {
            return; // readable, and nothing else to say
        }
        const std::string reason = why.value_or(failure);
        setStatus(StatusText::unreadableMedia({source->fileName}, reason));
        const auto [kept, added] = unreadableSources_.try_emplace(sourceId, reason);
        if (added || kept->second != reason) {
            kept->second = reason;
            emit unreadableSourcesChanged();
        }
        return;
    }
}

} // namespace velmora
