#include "export_workspaces/ExportPreviewPane.h"

#include <cmath>

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QVBoxLayout>

#include "controls/VelmoraPalette.h"
#include "export_workspaces/BusyIndicator.h"
#include "export_workspaces/ExportWorkspaceController.h"
#include "export_workspaces/GroupPanel.h"
#include "export_workspaces/PreviewPictureBox.h"
#include "export_workspaces/WorkspaceLabels.h"

namespace velmora {

namespace {

using WorkspaceLabels::TextSize;
constexpr double timeStep = 0.01;

} // namespace

ExportPreviewPane::ExportPreviewPane(ExportWorkspaceController& controller, QWidget* parent)
    : QWidget(parent)
    , controller_(controller)
{
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(18, 18, 18, 18);
    column->setSpacing(14);

    noJob_ = WorkspaceLabels::text(QStringLiteral("Load a job JSON to enable preview."), TextSize::body, true);
    column->addWidget(noJob_);

    group_ = new GroupPanel("eye", VelmoraPalette::blue(), QStringLiteral("Preview"));
    group_->setObjectName(QStringLiteral("PreviewGroup"));
    QVBoxLayout* content = group_->content();

    // Time: the slider over the reported range, or a placeholder before the first render.
    timeRow_ = new QWidget;
    auto* timeLayout = new QHBoxLayout(timeRow_);
    timeLayout->setContentsMargins(0, 0, 0, 0);
    timeLayout->setSpacing(10);
    QLabel* timeLabel = WorkspaceLabels::text(QStringLiteral("Time"), TextSize::body, false);
    timeLabel->setFixedWidth(70);
    timeSlider_ = new QSlider(Qt::Horizontal);
    timeSlider_->setObjectName(QStringLiteral("previewTime"));
    timeText_ = WorkspaceLabels::text({}, TextSize::caption, true);
    timeText_->setFixedWidth(72);
    timeText_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    timeLayout->addWidget(timeLabel);
    timeLayout->addWidget(timeSlider_, 1);
    timeLayout->addWidget(timeText_);
    content->addWidget(timeRow_);
    const auto timeAt = [this](int position) { return controller_.previewMinSeconds() + position * timeStep; };
    connect(timeSlider_, &QSlider::valueChanged, this, [this, timeAt](int position) {
        controller_.setPreviewTimeSeconds(timeAt(position));
        // A click on the track or a key ends its edit at once; a drag ends on release.
        if (!timeSlider_->isSliderDown())
            controller_.refreshPreview();
    });
    connect(timeSlider_, &QSlider::sliderReleased, this, [this] { controller_.refreshPreview(); });
    timePlaceholder_ =
        WorkspaceLabels::text(QStringLiteral("Press Refresh Preview to initialize the time range."), TextSize::body, true);
    content->addWidget(timePlaceholder_);

    auto* actions = new QHBoxLayout;
    actions->setSpacing(10);
    refresh_ = new QPushButton(QStringLiteral("Refresh Preview"));
    refresh_->setObjectName(QStringLiteral("refreshPreview"));
    connect(refresh_, &QPushButton::clicked, this, [this] { controller_.refreshPreview(); });
    busy_ = new BusyIndicator;
    actions->addWidget(refresh_);
    actions->addWidget(busy_);
    actions->addStretch(1);
    content->addLayout(actions);

    caption_ = WorkspaceLabels::text({}, TextSize::caption, true);
    caption_->setObjectName(QStringLiteral("previewCaption"));
    caption_->setWordWrap(true);
    caption_->setTextFormat(Qt::PlainText);
    WorkspaceLabels::makeSelectable(caption_);
    content->addWidget(caption_);

    QLabel* note = WorkspaceLabels::text(QStringLiteral("Note: Export uses the job JSON pipeline (LUT + Mood + Basic "
                                                        "Grade) plus the Compensation controls above (including Tint)."),
                                         TextSize::caption, true);
    note->setWordWrap(true);
    content->addWidget(note);

    picture_ = new PreviewPictureBox;
    picture_->setObjectName(QStringLiteral("previewPicture"));
    content->addWidget(picture_);

    column->addWidget(group_);
    column->addStretch(1);
    sync();
}

void ExportPreviewPane::sync()
{
    const bool hasJob = controller_.jobURL().has_value();
    noJob_->setVisible(!hasJob);
    group_->setVisible(hasJob);

    const bool hasRange = controller_.hasPreviewTimeRange();
    timeRow_->setVisible(hasRange);
    timePlaceholder_->setVisible(!hasRange);
    if (hasRange)
        syncTimeSlider();

    refresh_->setEnabled(controller_.canRefreshPreview());
    busy_->setRunning(controller_.isPreviewing());
    caption_->setText(QString::fromStdString(controller_.previewLabel()));
    caption_->setVisible(!controller_.previewLabel().empty());
    if (picture_->image().cacheKey() != controller_.previewImage().cacheKey())
        picture_->setImage(controller_.previewImage());
}

void ExportPreviewPane::syncTimeSlider()
{
    const double minimum = controller_.previewMinSeconds();
    const int steps = static_cast<int>(std::lround((controller_.previewMaxSeconds() - minimum) / timeStep));
    const int position = static_cast<int>(std::lround((controller_.previewTimeSeconds() - minimum) / timeStep));
    const QSignalBlocker blocker(timeSlider_);
    timeSlider_->setRange(0, steps);
    timeSlider_->setValue(position);
    timeText_->setText(QString::fromStdString(controller_.previewTimeText()));
}

} // namespace velmora
