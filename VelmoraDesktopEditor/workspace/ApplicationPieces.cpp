#include "workspace/ApplicationPieces.h"

#include "export_workspaces/EditorExportSheet.h"
#include "workspace/EditorWorkspaceController.h"
#include "workspace/ImportHintBanner.h"
#include "workspace/MediaPoolView.h"
#include "workspace/TimelineHeaderView.h"
#include "workspace/timeline/TimelineStripView.h"

namespace velmora::ApplicationPieces {
namespace {

std::optional<EditSession::Timeline> activeTimeline(const TimelinePreviewEngine& engine)
{
    return engine.session() ? engine.session()->activeTimeline() : std::nullopt;
}

QWidget* makeExportSheet(EditorWorkspaceController& workspace, QWidget* parent)
{
    return new EditorExportSheet(
        workspace.engine(), workspace.mediaFolderURL(), workspace.sessionURL(),
        [&workspace] { workspace.setShowExportSheet(false); }, {}, parent);
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
    pieces.timelineStrip = makeTimelineStrip;
    pieces.timelineHeader = [](EditorWorkspaceController& workspace, QWidget* parent) -> QWidget* {
        return new TimelineHeaderView(workspace, parent);
    };
    pieces.mediaPool = [](EditorWorkspaceController& workspace, QWidget* parent) -> QWidget* {
        return new MediaPoolView(workspace, parent);
    };
    pieces.importHintBanner = [](EditorWorkspaceController& workspace, QWidget* parent) -> QWidget* {
        return new ImportHintBanner(workspace, parent);
    };
    pieces.exportSheet = makeExportSheet;
    return pieces;
}

} // namespace velmora::ApplicationPieces
