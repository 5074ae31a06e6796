// Defaults for the pieces of the Edit workspace: its own views where this layer has them, and
// stand-ins for the pieces built in other layers (plain views carrying the pieces' names), so
// that a workspace given no pieces (as in its own tests) lays out and runs.

#include "workspace/shell/EditorWorkspacePieces.h"

#include <QDialog>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "workspace/EditorWorkspaceController.h"
#include "workspace/EditorWorkspaceStyle.h"
#include "workspace/pool/ImportHintBanner.h"
#include "workspace/pool/MediaPoolView.h"
#include "workspace/timeline/TimelineHeaderView.h"

namespace velmora {

namespace {

// A window's content: its title as a line of text and one button that runs `close`.
QWidget* standInContent(const char* name, const QString& title, const QString& button, std::function<void()> close,
                        QWidget* parent)
{
    QWidget* content = EditorWorkspaceStyle::styledView(name, parent);
    auto* column = new QVBoxLayout(content);
    column->addStretch(1);
    auto* text = EditorWorkspaceStyle::mutedCaption(title, content);
    text->setAlignment(Qt::AlignCenter);
    column->addWidget(text);
    column->addStretch(1);
    auto* closeButton = new QPushButton(button, content);
    QObject::connect(closeButton, &QPushButton::clicked, content, [close = std::move(close)] { close(); });
    column->addWidget(closeButton, 0, Qt::AlignRight);
    return content;
}

// A sheet: a dialog around a stand-in's content.
QDialog* standInWindow(const char* name, const QString& title, QSize size, const QString& button,
                       std::function<void()> close, QWidget* parent)
{
    auto* dialog = new QDialog(parent);
    dialog->setObjectName(QString::fromLatin1(name));
    dialog->setWindowTitle(title);
    dialog->resize(size);
    auto* layout = new QVBoxLayout(dialog);
    layout->addWidget(standInContent("standInContent", title, button, std::move(close), dialog));
    return dialog;
}

// The workspace's own views of a piece.
template <typename View>
QWidget* makeView(EditorWorkspaceController& workspace, QWidget* parent)
{
    return new View(workspace, parent);
}

QWidget* programStandIn(EditorWorkspaceController&, QWidget* parent)
{
    return EditorWorkspaceStyle::styledView("GradedPreviewView", parent);
}

QWidget* stripStandIn(EditorWorkspaceController&, QWidget* parent)
{
    return EditorWorkspaceStyle::styledView("TimelineStripView", parent);
}

QWidget* exportSheetStandIn(EditorWorkspaceController& workspace, QWidget* parent)
{
    return standInWindow("EditorExportSheet", QStringLiteral("Export Video"), {480, 320}, QStringLiteral("Close"),
                         [&workspace] { workspace.setShowExportSheet(false); }, parent);
}

QWidget* projectSettingsStandIn(EditorWorkspaceController& workspace, QWidget* parent)
{
    return standInWindow("ProjectSettingsSheet", QStringLiteral("Project Settings"), {480, 360},
                         QStringLiteral("Close"), [&workspace] { workspace.setShowProjectSettings(false); }, parent);
}

QWidget* gradeInspectorStandIn(const GradeInspectorWindowArguments& arguments, QWidget* parent)
{
    return standInContent("GradeInspectorWindowRoot", QString::fromStdString(arguments.clipName),
                          QStringLiteral("Done"), arguments.onDismiss, parent);
}

QWidget* sourceViewerStandIn(const SourceViewerWindowArguments& arguments, QWidget* parent)
{
    return standInContent("SourceViewer", QString::fromStdString(arguments.source.fileName), QStringLiteral("Close"),
                          arguments.onClose, parent);
}

} // namespace

EditorWorkspacePieces EditorWorkspacePieces::withStandIns() const
{
    EditorWorkspacePieces pieces = *this;
    const auto fill = [](auto& factory, auto standIn) {
        if (!factory)
            factory = standIn;
    };
    fill(pieces.programView, &programStandIn);
    fill(pieces.timelineStrip, &stripStandIn);
    fill(pieces.timelineHeader, &makeView<TimelineHeaderView>);
    fill(pieces.mediaPool, &makeView<MediaPoolView>);
    fill(pieces.importHintBanner, &makeView<ImportHintBanner>);
    fill(pieces.exportSheet, &exportSheetStandIn);
    fill(pieces.projectSettingsSheet, &projectSettingsStandIn);
    fill(pieces.gradeInspectorWindow, &gradeInspectorStandIn);
    fill(pieces.sourceViewerWindow, &sourceViewerStandIn);
    return pieces;
}

} // namespace velmora
