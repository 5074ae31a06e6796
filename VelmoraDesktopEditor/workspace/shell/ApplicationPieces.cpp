#include "workspace/shell/ApplicationPieces.h"

#include <QDialog>
#include <QVBoxLayout>

#include "export_workspaces/EditorExportSheet.h"
#include "inspectors/GradeInspectorWindowRoot.h"
#include "inspectors/ProjectSettingsSheet.h"
#include "inspectors/SourceViewer.h"
#include "preview/CleanFeedWindowController.h"
#include "preview/GradedPreviewView.h"
#include "workspace/EditorWorkspaceController.h"
#include "workspace/timeline/TimelineStripView.h"

namespace velmora::ApplicationPieces {
namespace {

std::optional<EditSession::Timeline> activeTimeline(const TimelinePreviewEngine& engine)
{
    return engine.session() ? engine.session()->activeTimeline() : std::nullopt;
}

QWidget* makeProgramView(EditorWorkspaceController& workspace, QWidget* parent)
{
    return new GradedPreviewView(workspace.engine(), nullptr, false, false, parent);
}

CleanFeedWindowHandle* openCleanFeedWindow(TimelinePreviewEngine& engine)
{
    return CleanFeedWindowController::open(engine);
}

QWidget* makeExportSheet(EditorWorkspaceController& workspace, QWidget* parent)
{
    return new EditorExportSheet(
        workspace.engine(), workspace.mediaFolderURL(), workspace.sessionURL(),
        [&workspace] { workspace.setShowExportSheet(false); }, {}, parent);
}

// The settings sheet in a dialog of its own size; the sheet handles Return and Escape and asks
// the workspace to close it.
QWidget* makeProjectSettingsSheet(EditorWorkspaceController& workspace, QWidget* parent)
{
    auto* dialog = new QDialog(parent);
    dialog->setObjectName(QStringLiteral("projectSettingsDialog"));
    auto* layout = new QVBoxLayout(dialog);
    layout->setContentsMargins(0, 0, 0, 0);
    TimelinePreviewEngine& engine = workspace.engine();
    layout->addWidget(new ProjectSettingsSheet(
        engine, engine.availableLutNames(), [&workspace] { workspace.setProjectDirty(true); },
        [&workspace] { workspace.setShowProjectSettings(false); }, dialog));
    return dialog;
}

} // namespace

QWidget* makeTimelineStrip(EditorWorkspaceController& workspace, QWidget* parent)
{
    TimelinePreviewEngine& engine = workspace.engine();
    TimelineStripView::Callbacks callbacks;
    callbacks.onSeek = [&engine](double seconds) { engine.scrub(seconds); };
    callbacks.onSelectClip = [&engine](const std::string& id) { engine.selectClip(id, false); };
    callbacks.onMoveClip = [&engine](const std::string& id, double start, std::optional<int> track, bool commit) {
        engine.moveClipOnTimeline(id, start, track, commit, true);
    };
    callbacks.onTrimEdge = [&engine](const std::string& id, TimelinePreviewEngine::TrimEdge edge, double t) {
        engine.trimEdgeOnTimeline(id, edge, t);
    };
    callbacks.onClipDroppedOnTrack = [&workspace](int lane, bool isVisual) {
        workspace.clipDroppedOnTrack(lane, isVisual);
    };
    callbacks.onOpenSourceViewer = [&workspace](const std::string& id) {
        workspace.openSourceViewerForTimelineClip(id);
    };

    auto* strip = new TimelineStripView(engine, activeTimeline(engine), workspace.timelineStripHeight(),
                                        workspace.laneRowHeight(), workspace.layoutVideoTracks(),
                                        workspace.layoutAudioTracks(), false, std::move(callbacks),
                                        engine.activeMarkers(), {}, parent);

    const auto refreshTimeline = [strip, &engine] {
        strip->setTimeline(activeTimeline(engine));
        strip->setMarkers(engine.activeMarkers());
    };
    QObject::connect(&engine, &TimelinePreviewEngine::sessionChanged, strip, refreshTimeline);
    QObject::connect(&engine, &TimelinePreviewEngine::timelineRevisionChanged, strip, refreshTimeline);
    QObject::connect(&workspace, &EditorWorkspaceController::laneRowHeightChanged, strip, [strip, &workspace] {
        strip->setPreferredLaneHeight(workspace.laneRowHeight());
        strip->setStripHeight(workspace.timelineStripHeight());
    });
    const auto refreshTracks = [strip, &workspace] {
        strip->setMinimumTracks(workspace.layoutVideoTracks(), workspace.layoutAudioTracks());
        strip->setStripHeight(workspace.timelineStripHeight());
    };
    QObject::connect(&workspace, &EditorWorkspaceController::layoutVideoTracksChanged, strip, refreshTracks);
    QObject::connect(&workspace, &EditorWorkspaceController::layoutAudioTracksChanged, strip, refreshTracks);
    return strip;
}

EditorWorkspacePieces make()
{
    EditorWorkspacePieces pieces;
    pieces.programView = makeProgramView;
    pieces.cleanFeedWindow = openCleanFeedWindow;
    pieces.timelineStrip = makeTimelineStrip;
    pieces.exportSheet = makeExportSheet;
    pieces.projectSettingsSheet = makeProjectSettingsSheet;
    pieces.sourceViewerWindow = [](const SourceViewerWindowArguments& a, QWidget* parent) -> QWidget* {
        return new SourceViewer(*a.engine, a.source, a.mediaFolderURL, a.sessionFile, a.timelineClipId,
                                a.initialInPoint, a.initialOutPoint, a.isWindowKey, a.onUpdateTimeline,
                                a.onInsertAtPlayhead, a.onAddToTimeline, a.onClose, a.onLutChanged, {}, parent);
    };
    pieces.gradeInspectorWindow = [](const GradeInspectorWindowArguments& a, QWidget* parent) -> QWidget* {
        return new GradeInspectorWindowRoot(*a.engine, a.initialEditState, a.clipId, a.clipName, a.lutNames,
                                            a.onDismiss, a.onDirty, parent);
    };
    return pieces;
}

} // namespace velmora::ApplicationPieces
