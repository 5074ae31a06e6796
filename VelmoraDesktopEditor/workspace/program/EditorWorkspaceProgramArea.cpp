// The program area's texts and placeholder, the transport's read-outs, and reloading the preview.

#include "workspace/EditorWorkspaceController.h"

#include <algorithm>

#include <QPointer>

#include "model/MediaResolver.h"
#include "model/ProjectMediaFolder.h"
#include "platform/foundation/FrameRates.h"
#include "platform/foundation/NumberText.h"
#include "platform/foundation/ShownText.h"
#include "platform/foundation/StringText.h"
#include "workspace/EditorWorkspaceText.h"

namespace velmora {

using Placeholder = EditorWorkspaceController::PreviewPlaceholder;

double EditorWorkspaceController::projectFrameRate() const
{
    const std::shared_ptr<EditSession>& session = engine_->session();
    return velmora::projectFrameRate(session && session->project ? session->project->fps : std::nullopt);
}

std::string EditorWorkspaceController::canvasLabel() const
{
    return EditorWorkspaceText::previewCanvasLabel(std::max(engine_->outputWidth(), 1),
                                                   std::max(engine_->outputHeight(), 1), projectFrameRate());
}

std::string EditorWorkspaceController::linkedSourceLabel() const
{
    const auto linked = engine_->previewLinkedSource(engine_->playheadSeconds());
    if (!linked)
        return {};
    return "Source: " + shownText(linked->fileName) + " · V" + NumberText::integer(linked->track);
}

bool EditorWorkspaceController::needsMediaImport() const
{
    const std::shared_ptr<EditSession>& session = engine_->session();
    if (!session || session->sources.empty())
        return false;
    if (!mediaFolderURL_)
        return true;
    if (!mediaFolderHoldsMedia_ && mediaFolderAskedAbout_ != mediaFolderURL_) {
        mediaFolderAskedAbout_ = mediaFolderURL_;
        if (!engine_->hasBackgroundWorker()) {
            mediaFolderHoldsMedia_ = ProjectMediaFolder::hasMediaFiles(*mediaFolderURL_);
        } else {
            const QPointer<EditorWorkspaceController> self(const_cast<EditorWorkspaceController*>(this));
            engine_->runInBackground([self, folder = *mediaFolderURL_, queue = mainQueue_] {
                queue->post([self, folder, holds = ProjectMediaFolder::hasMediaFiles(folder)] {
                    if (!self || self->mediaFolderURL_ != folder)
                        return;
                    self->mediaFolderHoldsMedia_ = holds;
                    emit self->mediaFolderHoldsMediaChanged();
                });
            });
        }
    }
    return mediaFolderHoldsMedia_ && !*mediaFolderHoldsMedia_;
}

Placeholder EditorWorkspaceController::previewPlaceholder() const
{
    using Action = Placeholder::Action;
    Placeholder placeholder;
    const std::shared_ptr<EditSession>& session = engine_->session();
    placeholder.projectReady = session != nullptr;
    const std::optional<std::string>& lastError = engine_->lastError();
    if (!session) {
        placeholder.heading = "New Project or Import Web Job";
        placeholder.explanation =
            "Use Import Web Job JSON for desktop job JSON or browser .tavlek exports, then choose Media Folder…";
        placeholder.buttons = {{"New Project", Action::newProject, true},
                               {"Import Web Job JSON…", Action::importWebJob, true},
                               {"Open Project…", Action::openProject, false}};
    } else if (session->sources.empty()) {
        placeholder.heading = "Import clips to get started";
        placeholder.explanation =
            "Use Import in Media Pool — pick files from anywhere (Downloads, Desktop, SD card…).";
        placeholder.buttons = {{"Import Media…", Action::importMedia, true}};
    } else if (needsMediaImport()) {
        placeholder.heading = "Re-import clips for this project";
        placeholder.explanation =
            "This project lists sources from the web — import the same files with Import in Media Pool.";
        placeholder.buttons = {{"Import Media…", Action::importMedia, true}};
    } else if (lastError && !lastError->empty()) {
        placeholder.heading = "Preview failed";
        placeholder.headingIsWarning = true;
        placeholder.explanation = *lastError;
        placeholder.buttons = {{"Retry preview", Action::retryPreview, true}};
    } else {
        const std::string& status = engine_->status();
        placeholder.heading = StringText::hasPrefix(status, "Failed") ? status : "Building preview…";
    }
    return placeholder;
}

void EditorWorkspaceController::runPlaceholderAction(Placeholder::Action action)
{
    switch (action) {
    case Placeholder::Action::newProject: newProject(); break;
    case Placeholder::Action::importWebJob: pickWebJobJSON(); break;
    case Placeholder::Action::openProject: pickSession(); break;
    case Placeholder::Action::importMedia: importMedia(); break;
    case Placeholder::Action::retryPreview: reloadPreview(); break;
    }
}

void EditorWorkspaceController::reloadPreview()
{
    const std::shared_ptr<EditSession> session = engine_->session();
    if (!session) {
        engine_->setStatus("New project or Open…");
        return;
    }
    std::filesystem::path folder;
    if (mediaFolderURL_) {
        folder = *mediaFolderURL_;
    } else {
        folder = ProjectMediaFolder::resolveForSession(sessionURL_, session->mediaFolder, projectName(session.get()));
    }
    setMediaFolderURL(folder);
    if (MediaResolver::canBuildPreview(*session, folder))
        engine_->load(session, folder, sessionURL_);
    else
        engine_->reloadSession(session, folder, sessionURL_);
}

} // namespace velmora
