#include "workspace/bars/PlaybackBar.h"

#include <algorithm>

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>

#include "workspace/EditorWorkspaceController.h"
#include "workspace/EditorWorkspaceText.h"
#include "workspace/bars/PlaybackScrubBar.h"

namespace velmora {

namespace {

constexpr double shortestBarDuration = 0.01;

QPushButton* transportButton(const QString& title, QWidget* parent)
{
    auto* button = new QPushButton(title, parent);
    button->setFocusPolicy(Qt::NoFocus);
    return button;
}

} // namespace

PlaybackBar::PlaybackBar(EditorWorkspaceController& workspace, QWidget* parent)
    : QWidget(parent), workspace_(workspace), playPause_(transportButton(QStringLiteral("Play"), this)),
      previousFrame_(transportButton(QStringLiteral("◀"), this)), nextFrame_(transportButton(QStringLiteral("▶"), this)),
      timeLabel_(new QLabel(this)), scrubBar_(new PlaybackScrubBar(this)), durationLabel_(new QLabel(this)),
      canvasLabel_(new QLabel(this))
{
    setObjectName(QStringLiteral("playbackBar"));
    setAttribute(Qt::WA_StyledBackground);
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(14, 8, 14, 8);
    row->setSpacing(12);

    playPause_->setObjectName(QStringLiteral("playPauseButton"));
    // Wide enough for "Pause", so the button keeps its width.
    playPause_->setMinimumWidth(52 + 24);
    row->addWidget(playPause_);

    auto* steps = new QHBoxLayout;
    steps->setSpacing(4);
    previousFrame_->setToolTip(QStringLiteral("Previous frame (←). ⇧ for fine step."));
    nextFrame_->setToolTip(QStringLiteral("Next frame (→). ⇧ for fine step."));
    steps->addWidget(previousFrame_);
    steps->addWidget(nextFrame_);
    row->addLayout(steps);

    timeLabel_->setObjectName(QStringLiteral("timeLabel"));
    timeLabel_->setFixedWidth(72);
    row->addWidget(timeLabel_);
    row->addWidget(scrubBar_, 1);
    durationLabel_->setObjectName(QStringLiteral("durationLabel"));
    durationLabel_->setFixedWidth(72);
    durationLabel_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    row->addWidget(durationLabel_);
    canvasLabel_->setObjectName(QStringLiteral("transportCanvasLabel"));
    row->addWidget(canvasLabel_);

    using EditCommand = EditorWorkspaceController::EditCommand;
    connect(playPause_, &QPushButton::clicked, this, [this] { workspace_.perform(EditCommand::playPause); });
    connect(previousFrame_, &QPushButton::clicked, this, [this] { workspace_.perform(EditCommand::previousFrame); });
    connect(nextFrame_, &QPushButton::clicked, this, [this] { workspace_.perform(EditCommand::nextFrame); });
    connect(scrubBar_, &PlaybackScrubBar::scrubbed, this, [this](double seconds) { workspace_.engine().scrub(seconds); });

    TimelinePreviewEngine& engine = workspace_.engine();
    for (auto signal : {&TimelinePreviewEngine::playheadSecondsChanged,
                        &TimelinePreviewEngine::playbackMotionSecondsChanged})
        connect(&engine, signal, this, &PlaybackBar::refreshPlayhead);
    for (auto signal : {&TimelinePreviewEngine::isPlayingChanged, &TimelinePreviewEngine::durationSecondsChanged,
                        &TimelinePreviewEngine::sessionChanged, &TimelinePreviewEngine::outputWidthChanged,
                        &TimelinePreviewEngine::outputHeightChanged})
        connect(&engine, signal, this, &PlaybackBar::refresh);
    refresh();
}

void PlaybackBar::refresh()
{
    const TimelinePreviewEngine& engine = workspace_.engine();
    playPause_->setText(engine.isPlaying() ? QStringLiteral("Pause") : QStringLiteral("Play"));
    durationLabel_->setText(
        QString::fromStdString(EditorWorkspaceText::timeLabel(engine.durationSeconds(), workspace_.projectFrameRate())));
    canvasLabel_->setText(QString::fromStdString(workspace_.canvasLabel()));
    refreshPlayhead();
}

void PlaybackBar::refreshPlayhead()
{
    const TimelinePreviewEngine& engine = workspace_.engine();
    // Counted on the monitor's own grid (the project's rate, else its footage's), so that the
    // read-out names the frame the monitor shows.
    timeLabel_->setText(
        QString::fromStdString(EditorWorkspaceText::timeLabel(engine.playheadSeconds(), engine.frameGrid().rate())));
    // While playing the knob follows the finer playback time.
    const double knob = engine.isPlaying() ? engine.playbackMotionSeconds() : engine.playheadSeconds();
    scrubBar_->setPosition(knob, std::max(engine.durationSeconds(), shortestBarDuration));
}

} // namespace velmora
