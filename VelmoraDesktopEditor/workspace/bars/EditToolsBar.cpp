#include "workspace/bars/EditToolsBar.h"

#include <algorithm>

#include <QCheckBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>

#include "controls/ElidedLabel.h"
#include "controls/SteadyWidthButton.h"
#include "controls/ToolbarEdgeScrollView.h"
#include "workspace/bars/ClipFadeBar.h"
#include "workspace/bars/ClipGainBar.h"
#include "workspace/EditorWorkspaceStyle.h"

namespace velmora {

namespace {

// The status line has a slot of its own whose width follows the bar's, never its text: the
// rest is the commands', which scroll when it is not enough, and which therefore never move
// when a message comes. The commands keep this much of the bar where it has room (700 px in view
// between the strip's two 30 px arrows: the undo, edit and grade commands at the default window
// size), the status line gets what is left, at least this much (in a narrower window the
// commands scroll sooner) and at most this wide. Longer text is cut with an ellipsis (the whole text is its tool tip); warnings come
// first in it, so that their names stay in view.
constexpr int commandsKeptWidth = 760;
constexpr int statusMinimumWidth = 240;
constexpr int statusMaximumWidth = 520;
// Padding at the bar's right end, after the status line, as the row has at its ends.
constexpr int barEndPadding = 14;
// Between the commands and the status line.
constexpr int barSpacing = 10;

} // namespace

EditToolsBar::EditToolsBar(EditorWorkspaceController& workspace, QWidget* parent)
    : QWidget(parent), workspace_(workspace), strip_(new ToolbarEdgeScrollView(this))
{
    setObjectName(QStringLiteral("editToolsBar"));
    setAttribute(Qt::WA_StyledBackground);
    setFixedHeight(36);
    auto* outer = new QHBoxLayout(this);
    outer->setContentsMargins(0, 0, barEndPadding, 0);
    outer->setSpacing(barSpacing);
    outer->addWidget(strip_, 1);

    auto* row = new QWidget;
    row->setObjectName(QStringLiteral("editToolsRow"));
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(14, 6, 14, 6);
    layout->setSpacing(10);

    addCommandButton(row, {QStringLiteral("Undo Ctrl+Z")}, EditCommand::undo, {});
    addCommandButton(row, {QStringLiteral("Redo Shift+Ctrl+Z")}, EditCommand::redo, {});
    auto* divider = new QFrame(row);
    divider->setFrameShape(QFrame::VLine);
    divider->setFixedHeight(18);
    layout->addWidget(divider);
    addCommandButton(row, {QStringLiteral("Delete ⌫")}, EditCommand::deleteSelection,
                     QStringLiteral("Delete selected clip, or nearest marker at playhead if nothing is selected"));
    addCommandButton(row, {QStringLiteral("Split S")}, EditCommand::split,
                     QStringLiteral("Splits selected video and paired audio at the playhead (when audio is linked)"));
    QStringList linkTitles;
    for (const std::string& label : EditorWorkspaceController::linkLabels())
        linkTitles.push_back(QString::fromStdString(label + " L"));
    addCommandButton(row, linkTitles, EditCommand::toggleAudioLink,
                     QStringLiteral("Select a video clip, then link or unlink its paired audio track"));
    addCommandButton(row, {QStringLiteral("Trim In [")}, EditCommand::trimIn, {});
    addCommandButton(row, {QStringLiteral("Trim Out ]")}, EditCommand::trimOut, {});
    addCommandButton(row, {QStringLiteral("Close Gap")}, EditCommand::closeGap,
                     QStringLiteral("Close gap at playhead (G) — joins to clips on other tracks when stacked"));
    addCommandButton(row, {QStringLiteral("Marker")}, EditCommand::addMarker, {});

    gradeButton_ = new QPushButton(QStringLiteral("Grade"), row);
    gradeButton_->setObjectName(QStringLiteral("gradeInspectorButton"));
    gradeButton_->setToolTip(QStringLiteral("Mood & basic grade for selected clip (matches web editor)"));
    connect(gradeButton_, &QPushButton::clicked, this, [this] {
        if (const auto id = workspace_.engine().selectedClipId())
            workspace_.openGradeInspector(*id);
    });
    layout->addWidget(gradeButton_);

    sourceViewerButton_ = new QPushButton(QStringLiteral("Source V"), row);
    sourceViewerButton_->setObjectName(QStringLiteral("sourceViewerButton"));
    sourceViewerButton_->setToolTip(
        QStringLiteral("Open source viewer for selected clip (double-click timeline clip also works)"));
    connect(sourceViewerButton_, &QPushButton::clicked, this, [this] {
        if (const auto id = workspace_.engine().selectedClipId())
            workspace_.openSourceViewerForTimelineClip(*id);
    });
    layout->addWidget(sourceViewerButton_);

    fadeBar_ = new ClipFadeBar(workspace_, row);
    layout->addWidget(fadeBar_);
    gainBar_ = new ClipGainBar(workspace_, row);
    layout->addWidget(gainBar_);

    TimelinePreviewEngine& engine = workspace_.engine();
    snapToggle_ = new QCheckBox(QStringLiteral("Snap"), row);
    snapToggle_->setObjectName(QStringLiteral("snapToggle"));
    connect(snapToggle_, &QCheckBox::toggled, &engine, &TimelinePreviewEngine::setMagneticSnapEnabled);
    layout->addWidget(snapToggle_);
    rippleToggle_ = new QCheckBox(QStringLiteral("Ripple"), row);
    rippleToggle_->setObjectName(QStringLiteral("rippleToggle"));
    connect(rippleToggle_, &QCheckBox::toggled, &engine, &TimelinePreviewEngine::setRippleEditEnabled);
    layout->addWidget(rippleToggle_);

    layout->addStretch(1);
    strip_->setHostedContent(row);

    // The status line stays at the bar's end, outside the strip, so that it shows whatever the
    // window's width and wherever the commands are scrolled.
    statusLabel_ = new ElidedLabel(Qt::ElideRight, {}, this);
    statusLabel_->setObjectName(QStringLiteral("statusLabel"));
    statusLabel_->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Preferred);
    outer->addWidget(statusLabel_);

    for (auto signal : {&TimelinePreviewEngine::canUndoChanged, &TimelinePreviewEngine::canRedoChanged,
                        &TimelinePreviewEngine::selectedClipIdChanged, &TimelinePreviewEngine::sessionChanged,
                        &TimelinePreviewEngine::timelineRevisionChanged, &TimelinePreviewEngine::statusChanged,
                        &TimelinePreviewEngine::unlinkedMediaStemsChanged,
                        &TimelinePreviewEngine::magneticSnapEnabledChanged,
                        &TimelinePreviewEngine::rippleEditEnabledChanged})
        connect(&engine, signal, this, &EditToolsBar::refresh);
    refresh();
}

QPushButton* EditToolsBar::addCommandButton(QWidget* row, const QStringList& titles, EditCommand command,
                                            const QString& help)
{
    // A button relabelled as the selection changes keeps the width of its widest title, so the
    // commands after it stay where the pointer expects them.
    auto* button = new SteadyWidthButton(titles, row);
    if (!help.isEmpty())
        button->setToolTip(help);
    // Buttons never take the keyboard focus, so the workspace's keys keep working after a click.
    button->setFocusPolicy(Qt::NoFocus);
    connect(button, &QPushButton::clicked, this, [this, command] { workspace_.perform(command); });
    row->layout()->addWidget(button);
    buttons_[command] = button;
    return button;
}

QPushButton* EditToolsBar::button(EditCommand command) const
{
    const auto found = buttons_.find(command);
    return found == buttons_.end() ? nullptr : found->second;
}

void EditToolsBar::refresh()
{
    const TimelinePreviewEngine& engine = workspace_.engine();
    buttons_.at(EditCommand::undo)->setEnabled(workspace_.undoEnabled());
    buttons_.at(EditCommand::redo)->setEnabled(workspace_.redoEnabled());
    buttons_.at(EditCommand::toggleAudioLink)->setText(QString::fromStdString(workspace_.linkLabel() + " L"));
    gradeButton_->setVisible(workspace_.gradeInspectorButtonShown());
    sourceViewerButton_->setVisible(workspace_.sourceViewerButtonShown());
    fadeBar_->refresh();
    gainBar_->refresh();
    {
        const QSignalBlocker snapBlocker(snapToggle_);
        const QSignalBlocker rippleBlocker(rippleToggle_);
        snapToggle_->setChecked(engine.magneticSnapEnabled());
        rippleToggle_->setChecked(engine.rippleEditEnabled());
    }
    const QString status = QString::fromStdString(engine.status());
    statusLabel_->setToolTip(status);
    statusLabel_->setText(status);
    fitStatusWidth();
    // The groups just shown or hidden take their places now, not at the next pass of the event
    // loop: a button is where it will be drawn as soon as it shows.
    strip_->layoutContentNow();
    fadeBar_->layout()->activate();
    gainBar_->layout()->activate();
}

void EditToolsBar::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    fitStatusWidth();
}

void EditToolsBar::fitStatusWidth()
{
    const int left = width() - barEndPadding - barSpacing - commandsKeptWidth;
    const int fitted = std::clamp(left, std::min(statusMinimumWidth, width() / 2), statusMaximumWidth);
    if (statusLabel_->minimumWidth() != fitted || statusLabel_->maximumWidth() != fitted)
        statusLabel_->setFixedWidth(fitted);
}

} // namespace velmora
