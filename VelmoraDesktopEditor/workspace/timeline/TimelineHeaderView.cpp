#include "workspace/timeline/TimelineHeaderView.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>

#include "controls/ElidedLabel.h"
#include "controls/VelmoraSymbols.h"
#include "controls/VelmoraToolbarSlider.h"
#include "workspace/EditorWorkspaceController.h"
#include "workspace/EditorWorkspaceStyle.h"

namespace velmora {

namespace {

constexpr int pickerMaximumWidth = 200;
constexpr int zoomSliderWidth = 100;
constexpr int zoomReadoutWidth = 56;
constexpr int laneHeightSliderWidth = 120;
constexpr double laneHeightMinimum = 28;
constexpr double laneHeightMaximum = 128;
constexpr double laneHeightStep = 2;

QPushButton* laneButton(const QString& title, const char* name, const QString& help, QWidget* parent)
{
    auto* button = new QPushButton(title, parent);
    button->setObjectName(QString::fromLatin1(name));
    VelmoraSymbols::apply(*button, "plus");
    EditorWorkspaceStyle::setCaption(*button);
    button->setToolTip(help);
    button->setFocusPolicy(Qt::NoFocus);
    button->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Preferred);
    return button;
}

} // namespace

TimelineHeaderView::TimelineHeaderView(EditorWorkspaceController& workspace, QWidget* parent)
    : QWidget(parent), workspace_(workspace)
{
    setObjectName(QStringLiteral("timelineHeader"));
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(10);

    auto* title = new QLabel(QStringLiteral("Timeline"), this);
    EditorWorkspaceStyle::setStyleFlag(*title, "headline", true);
    row->addWidget(title);
    picker_ = new QComboBox(this);
    picker_->setObjectName(QStringLiteral("timelinePicker"));
    picker_->setToolTip(QStringLiteral("Timeline"));
    picker_->setMaximumWidth(pickerMaximumWidth);
    picker_->setFocusPolicy(Qt::NoFocus);
    connect(picker_, &QComboBox::activated, this, [this](int index) {
        workspace_.chooseTimeline(picker_->itemData(index).toString().toStdString());
    });
    row->addWidget(picker_);
    // The legend gives way first when the row is short, so that the controls to its right stay whole;
    // its tooltip keeps the whole text.
    const QString legendText = QStringLiteral("White bars = trim · Cyan line = snap magnet · Stack clip ends");
    auto* legend = new ElidedLabel(Qt::ElideRight, legendText, this);
    legend->setToolTip(legendText);
    legend->setObjectName(QStringLiteral("timelineLegend"));
    row->addWidget(legend);
    row->addStretch(1);

    auto* controls = new QHBoxLayout;
    controls->setSpacing(8);
    addVideo_ = laneButton(QStringLiteral("Video"), "addVideoLaneButton",
                           QStringLiteral("Add another video lane (V3, V4, …). Drag clips vertically to place them."), this);
    connect(addVideo_, &QPushButton::clicked, &workspace_, &EditorWorkspaceController::addVideoLane);
    controls->addWidget(addVideo_);
    addAudio_ = laneButton(QStringLiteral("Audio"), "addAudioLaneButton",
                           QStringLiteral("Add another audio lane for separate audio clips."), this);
    connect(addAudio_, &QPushButton::clicked, &workspace_, &EditorWorkspaceController::addAudioLane);
    controls->addWidget(addAudio_);

    controls->addWidget(EditorWorkspaceStyle::mutedCaption(QStringLiteral("Zoom"), this, "zoomTitle"));
    zoom_ = new VelmoraToolbarSlider(0, 100, 0, this);
    zoom_->setObjectName(QStringLiteral("timelineZoomSlider"));
    zoom_->setFixedWidth(zoomSliderWidth);
    connect(zoom_, &VelmoraToolbarSlider::valueEdited, &workspace_, &EditorWorkspaceController::changeTimelineZoom);
    controls->addWidget(zoom_);
    zoomReadout_ = EditorWorkspaceStyle::mutedCaption(QString(), this, "timelineZoomReadout");
    zoomReadout_->setFixedWidth(zoomReadoutWidth);
    zoomReadout_->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    controls->addWidget(zoomReadout_);

    controls->addWidget(EditorWorkspaceStyle::mutedCaption(QStringLiteral("Track height"), this, "laneHeightTitle"));
    laneHeight_ = new VelmoraToolbarSlider(laneHeightMinimum, laneHeightMaximum, laneHeightStep, this);
    laneHeight_->setObjectName(QStringLiteral("laneHeightSlider"));
    laneHeight_->setFixedWidth(laneHeightSliderWidth);
    connect(laneHeight_, &VelmoraToolbarSlider::valueEdited, &workspace_, &EditorWorkspaceController::setLaneRowHeight);
    controls->addWidget(laneHeight_);
    laneHeightReadout_ = EditorWorkspaceStyle::mutedCaption(QString(), this, "laneHeightReadout");
    controls->addWidget(laneHeightReadout_);
    row->addLayout(controls);

    TimelinePreviewEngine& engine = workspace_.engine();
    for (auto signal : {&TimelinePreviewEngine::sessionChanged, &TimelinePreviewEngine::timelineRevisionChanged}) {
        connect(&engine, signal, this, &TimelineHeaderView::refreshPicker);
        connect(&engine, signal, this, &TimelineHeaderView::refreshZoom);
    }
    connect(&workspace_, &EditorWorkspaceController::timelineZoomUIChanged, this, &TimelineHeaderView::refreshZoom);
    connect(&workspace_, &EditorWorkspaceController::laneRowHeightChanged, this,
            &TimelineHeaderView::refreshLaneHeight);
    refreshPicker();
    refreshZoom();
    refreshLaneHeight();
}

void TimelineHeaderView::refreshPicker()
{
    const std::vector<EditorWorkspaceController::TimelinePickerEntry> entries = workspace_.timelinePickerEntries();
    // Rebuilding the list is not a choice of the user's.
    const QSignalBlocker blocker(picker_);
    picker_->clear();
    for (const EditorWorkspaceController::TimelinePickerEntry& entry : entries)
        picker_->addItem(QString::fromStdString(entry.title), QString::fromStdString(entry.id));
    picker_->setCurrentIndex(picker_->findData(QString::fromStdString(workspace_.timelinePickerSelection())));
    picker_->setVisible(!entries.empty());
}

void TimelineHeaderView::refreshZoom()
{
    zoom_->setBoundValue(workspace_.timelineZoomUI());
    zoomReadout_->setText(QString::fromStdString(workspace_.timelineZoomReadout()));
}

void TimelineHeaderView::refreshLaneHeight()
{
    laneHeight_->setBoundValue(workspace_.laneRowHeight());
    laneHeightReadout_->setText(QString::fromStdString(workspace_.laneHeightReadout()));
}

} // namespace velmora
