// Stand-ins for the pieces of the Edit workspace that are built elsewhere: plain views carrying
// the pieces' names, so that a workspace given no pieces (as in its own tests) lays out and runs.

#include "workspace/EditorWorkspacePieces.h"

#include <QDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "controls/VelmoraPalette.h"
#include "controls/VelmoraSymbols.h"
#include "workspace/EditorWorkspaceController.h"
#include "workspace/EditorWorkspaceStyle.h"

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

QWidget* programStandIn(EditorWorkspaceController&, QWidget* parent)
{
    return EditorWorkspaceStyle::styledView("GradedPreviewView", parent);
}

QWidget* stripStandIn(EditorWorkspaceController&, QWidget* parent)
{
    return EditorWorkspaceStyle::styledView("TimelineStripView", parent);
}

QLabel* headline(const QString& text, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    EditorWorkspaceStyle::setStyleFlag(*label, "headline", true);
    return label;
}

QWidget* headerStandIn(EditorWorkspaceController&, QWidget* parent)
{
    QWidget* view = EditorWorkspaceStyle::styledView("timelineHeader", parent);
    auto* row = new QHBoxLayout(view);
    row->setContentsMargins(0, 0, 0, 0);
    row->addWidget(headline(QStringLiteral("Timeline"), view));
    row->addStretch(1);
    return view;
}

QWidget* mediaPoolStandIn(EditorWorkspaceController& workspace, QWidget* parent)
{
    QWidget* view = EditorWorkspaceStyle::styledView("mediaPool", parent);
    auto* column = new QVBoxLayout(view);
    column->setContentsMargins(8, 8, 8, 4);
    auto* header = new QHBoxLayout;
    header->setSpacing(8);
    header->addWidget(headline(QStringLiteral("Media Pool"), view));
    header->addStretch(1);
    auto* import = new QPushButton(QStringLiteral("Import"), view);
    VelmoraSymbols::apply(*import, "plus");
    import->setToolTip(QStringLiteral("Import video, image, or audio files into the media pool"));
    QObject::connect(import, &QPushButton::clicked, &workspace, &EditorWorkspaceController::importMedia);
    header->addWidget(import);
    auto* close = new QPushButton(view);
    VelmoraSymbols::apply(*close, "xmark");
    close->setFlat(true);
    close->setToolTip(QStringLiteral("Close Media Pool"));
    QObject::connect(close, &QPushButton::clicked, &workspace, [&workspace] { workspace.setShowMediaPool(false); });
    header->addWidget(close);
    column->addLayout(header);
    column->addStretch(1);
    return view;
}

QWidget* importHintStandIn(EditorWorkspaceController& workspace, QWidget* parent)
{
    QWidget* view = EditorWorkspaceStyle::styledView("importHintBanner", parent);
    auto* row = new QHBoxLayout(view);
    row->setContentsMargins(0, 0, 0, 0);
    row->addStretch(1);
    auto* dismiss = new QPushButton(view);
    VelmoraSymbols::apply(*dismiss, "xmark", VelmoraPalette::editorMuted());
    dismiss->setFlat(true);
    dismiss->setToolTip(QStringLiteral("Dismiss"));
    QObject::connect(dismiss, &QPushButton::clicked, &workspace,
                     [&workspace] { workspace.setImportHintDismissed(true); });
    row->addWidget(dismiss);
    return view;
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
    fill(pieces.timelineHeader, &headerStandIn);
    fill(pieces.mediaPool, &mediaPoolStandIn);
    fill(pieces.importHintBanner, &importHintStandIn);
    fill(pieces.exportSheet, &exportSheetStandIn);
    fill(pieces.projectSettingsSheet, &projectSettingsStandIn);
    fill(pieces.gradeInspectorWindow, &gradeInspectorStandIn);
    fill(pieces.sourceViewerWindow, &sourceViewerStandIn);
    return pieces;
}

} // namespace velmora
