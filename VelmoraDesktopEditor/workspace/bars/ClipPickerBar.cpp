#include "workspace/bars/ClipPickerBar.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QScrollArea>

#include "controls/ButtonTitle.h"
#include "workspace/EditorWorkspaceStyle.h"

namespace velmora {

namespace {

constexpr int barHeight = 36;

} // namespace

ClipPickerBar::ClipPickerBar(EditorWorkspaceController& workspace, QWidget* parent)
    : QWidget(parent), workspace_(workspace), scroll_(new QScrollArea(this)), row_(new QWidget),
      rowLayout_(new QHBoxLayout(row_))
{
    setObjectName(QStringLiteral("clipPickerBar"));
    setAttribute(Qt::WA_StyledBackground);
    auto* outer = new QHBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(scroll_);

    scroll_->setFrameShape(QFrame::NoFrame);
    scroll_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll_->setWidgetResizable(true);
    row_->setObjectName(QStringLiteral("clipPickerRow"));
    rowLayout_->setContentsMargins(12, 6, 12, 6);
    rowLayout_->setSpacing(8);
    rowLayout_->addStretch(1);
    scroll_->setWidget(row_);

    TimelinePreviewEngine& engine = workspace_.engine();
    for (auto signal : {&TimelinePreviewEngine::sessionChanged, &TimelinePreviewEngine::timelineRevisionChanged,
                        &TimelinePreviewEngine::selectedClipIdChanged})
        connect(&engine, signal, this, &ClipPickerBar::refresh);
    refresh();
}

void ClipPickerBar::refresh()
{
    const std::vector<EditorWorkspaceController::PickerClip> clips = workspace_.pickerClips();
    if (clips != shown_)
        rebuild(clips);
    setFixedHeight(clips.empty() ? 0 : barHeight);
    const std::optional<std::string>& selected = workspace_.engine().selectedClipId();
    for (std::size_t i = 0; i < buttons_.size(); ++i)
        EditorWorkspaceStyle::setStyleFlag(*buttons_[i], "selected", selected == shown_[i].id);
}

void ClipPickerBar::rebuild(const std::vector<EditorWorkspaceController::PickerClip>& clips)
{
    // A button may be the one whose click led here: it goes once control is back in the loop.
    for (QPushButton* button : buttons_) {
        button->hide();
        rowLayout_->removeWidget(button);
        button->deleteLater();
    }
    buttons_.clear();
    shown_ = clips;
    int index = 0;
    for (const EditorWorkspaceController::PickerClip& clip : clips) {
        auto* button = new QPushButton(ButtonTitle::literal(QString::fromStdString(clip.title)), row_);
        button->setProperty("clipButton", true);
        button->setFocusPolicy(Qt::NoFocus);
        button->setCursor(Qt::PointingHandCursor);
        connect(button, &QPushButton::clicked, this, [this, id = clip.id] { workspace_.pickClip(id); });
        rowLayout_->insertWidget(index++, button);
        buttons_.push_back(button);
    }
}

} // namespace velmora
