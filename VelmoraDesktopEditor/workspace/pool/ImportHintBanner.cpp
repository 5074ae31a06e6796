#include "workspace/pool/ImportHintBanner.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>

#include "controls/VelmoraPalette.h"
#include "controls/VelmoraSymbols.h"
#include "workspace/EditorWorkspaceController.h"
#include "workspace/EditorWorkspaceStyle.h"

namespace velmora {

ImportHintBanner::ImportHintBanner(EditorWorkspaceController& workspace, QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("importHintBanner"));
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(10);
    auto* hint = new QLabel(QStringLiteral("Use Import in Media Pool to add your first clips."), this);
    hint->setObjectName(QStringLiteral("importHintText"));
    EditorWorkspaceStyle::setCaption(*hint);
    row->addWidget(hint);
    auto* import = new QPushButton(QStringLiteral("Import…"), this);
    import->setObjectName(QStringLiteral("importHintImportButton"));
    EditorWorkspaceStyle::setCaption(*import);
    import->setFocusPolicy(Qt::NoFocus);
    connect(import, &QPushButton::clicked, &workspace, &EditorWorkspaceController::importMedia);
    row->addWidget(import);
    row->addStretch(1);
    auto* dismiss = new QPushButton(this);
    dismiss->setObjectName(QStringLiteral("importHintDismissButton"));
    VelmoraSymbols::apply(*dismiss, "xmark", VelmoraPalette::editorMuted());
    dismiss->setFlat(true);
    dismiss->setToolTip(QStringLiteral("Dismiss"));
    dismiss->setFocusPolicy(Qt::NoFocus);
    connect(dismiss, &QPushButton::clicked, &workspace, [&workspace] { workspace.setImportHintDismissed(true); });
    row->addWidget(dismiss);
}

} // namespace velmora
