#include "workspace/pool/MediaPoolView.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QToolButton>
#include <QVBoxLayout>

#include "controls/VelmoraSymbols.h"
#include "workspace/EditorWorkspaceController.h"
#include "workspace/EditorWorkspaceStyle.h"
#include "workspace/pool/MediaPoolGrid.h"

namespace velmora {

namespace {

constexpr int scrollMinimumWidth = 200;

} // namespace

MediaPoolView::MediaPoolView(EditorWorkspaceController& workspace, QWidget* parent)
    : QWidget(parent), workspace_(workspace)
{
    setObjectName(QStringLiteral("mediaPool"));
    setAttribute(Qt::WA_StyledBackground);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    auto* header = new QHBoxLayout;
    header->setContentsMargins(8, 8, 8, 4);
    header->setSpacing(8);
    auto* title = new QLabel(QStringLiteral("Media Pool"), this);
    EditorWorkspaceStyle::setStyleFlag(*title, "headline", true);
    header->addWidget(title);
    header->addStretch(1);
    importButton_ = new QToolButton(this);
    importButton_->setObjectName(QStringLiteral("mediaPoolImportButton"));
    importButton_->setText(QStringLiteral("Import"));
    importButton_->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    VelmoraSymbols::apply(*importButton_, "plus");
    EditorWorkspaceStyle::setCaption(*importButton_);
    importButton_->setToolTip(QStringLiteral("Import video, image, or audio files into the media pool"));
    importButton_->setFocusPolicy(Qt::NoFocus);
    connect(importButton_, &QToolButton::clicked, &workspace_, &EditorWorkspaceController::importMedia);
    header->addWidget(importButton_);
    closeButton_ = new QPushButton(this);
    closeButton_->setObjectName(QStringLiteral("mediaPoolCloseButton"));
    VelmoraSymbols::apply(*closeButton_, "xmark");
    closeButton_->setFlat(true);
    closeButton_->setToolTip(QStringLiteral("Close Media Pool"));
    closeButton_->setFocusPolicy(Qt::NoFocus);
    connect(closeButton_, &QPushButton::clicked, &workspace_, [this] { workspace_.setShowMediaPool(false); });
    header->addWidget(closeButton_);
    column->addLayout(header);

    scroll_ = new QScrollArea(this);
    scroll_->setObjectName(QStringLiteral("mediaPoolScroll"));
    scroll_->setFrameShape(QFrame::NoFrame);
    scroll_->setWidgetResizable(true);
    scroll_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll_->setMinimumWidth(scrollMinimumWidth);
    grid_ = new MediaPoolGrid(scroll_);
    grid_->onSelect = [this](const std::string& id) { workspace_.selectPoolSource(id); };
    grid_->onOpen = [this](const std::string& id) { workspace_.openPoolSource(id); };
    scroll_->setWidget(grid_);
    column->addWidget(scroll_, 1);

    TimelinePreviewEngine& engine = workspace_.engine();
    for (auto signal : {&TimelinePreviewEngine::sessionChanged, &TimelinePreviewEngine::selectedClipIdChanged,
                        &TimelinePreviewEngine::timelineRevisionChanged,
                        &TimelinePreviewEngine::unreadableSourcesChanged})
        connect(&engine, signal, this, &MediaPoolView::refresh);
    for (auto signal : {&EditorWorkspaceController::selectedSourceIdChanged, &EditorWorkspaceController::mediaPoolPicturesChanged})
        connect(&workspace_, signal, this, &MediaPoolView::refresh);
    connect(&engine, &TimelinePreviewEngine::anotherProjectTaken, this,
            [this] { scroll_->verticalScrollBar()->setValue(0); });
    refresh();
}

void MediaPoolView::refresh()
{
    grid_->updateCards([this](std::vector<MediaPoolGrid::Card>& cards) { return workspace_.refreshMediaPoolCards(cards); });
}

} // namespace velmora
