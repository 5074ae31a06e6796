// The source files of the installed preview, and the word the status line and the media pool
// give about a file that cannot be read, whether found by the build or by the player or a
// still request failing on it later.

#include "preview/TimelinePreviewEngine.h"

#include <vector>

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
    if (!unreadableSources_.empty() && session_) {
        std::vector<std::string> names;
        for (const EditSession::Source& source : session_->sources) {
            if (unreadableSources_.contains(source.id)) {
                names.push_back(source.fileName);
            }
        }
        if (!names.empty()) {
            const std::string& reason = unreadableSources_.begin()->second;
            setStatus(status_ + " · " + StatusText::unreadableMedia(names, reason));
        }
    }
    if (changed) {
        emit unreadableSourcesChanged();
    }
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
