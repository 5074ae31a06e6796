#include "export_workspaces/OutputSettingsRows.h"

#include <cmath>

#include <QButtonGroup>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QVBoxLayout>

#include "controls/VelmoraPalette.h"
#include "export_workspaces/ExportWorkspaceController.h"
#include "export_workspaces/WorkspaceLabels.h"

namespace velmora {

namespace {

using OutputSettings::CompensationSlider;
using WorkspaceLabels::TextSize;

// Slider positions are whole steps counted from the lower bound.
int stepCount(const CompensationSlider& slider)
{
    return static_cast<int>(std::lround((slider.maximum - slider.minimum) / slider.step));
}

int positionFor(const CompensationSlider& slider, double value)
{
    return static_cast<int>(std::lround((value - slider.minimum) / slider.step));
}

double valueAt(const CompensationSlider& slider, int position)
{
    return slider.minimum + position * slider.step;
}

QHBoxLayout* settingRow(QVBoxLayout* rows, const QString& title)
{
    auto* row = new QHBoxLayout;
    QLabel* label = WorkspaceLabels::text(title, TextSize::body, false);
    label->setFixedWidth(110);
    row->addWidget(label, 0, Qt::AlignVCenter);
    rows->addLayout(row);
    return row;
}

} // namespace

OutputSettingsRows::OutputSettingsRows(ExportWorkspaceController& controller, QWidget* parent)
    : QWidget(parent)
    , controller_(controller)
{
    auto* rows = new QVBoxLayout(this);
    rows->setContentsMargins(0, 0, 0, 0);
    rows->setSpacing(10);

    // Container: a segmented choice of two.
    QHBoxLayout* containerRow = settingRow(rows, QStringLiteral("Container"));
    auto* segments = new QWidget;
    segments->setFixedWidth(180);
    auto* segmentLayout = new QHBoxLayout(segments);
    segmentLayout->setContentsMargins(0, 0, 0, 0);
    segmentLayout->setSpacing(0);
    container_ = new QButtonGroup(this);
    container_->setExclusive(true);
    for (std::size_t i = 0; i < OutputSettings::containers.size(); ++i) {
        auto* button = new QPushButton(QString::fromLatin1(OutputSettings::containers[i].label));
        button->setCheckable(true);
        button->setObjectName(QStringLiteral("container-") + QString::fromLatin1(OutputSettings::containers[i].value));
        container_->addButton(button, static_cast<int>(i));
        segmentLayout->addWidget(button);
    }
    connect(container_, &QButtonGroup::idClicked, this, [this](int id) {
        controller_.setOutputContainer(OutputSettings::containers[static_cast<std::size_t>(id)].value);
    });
    containerRow->addWidget(segments);
    containerRow->addStretch(1);

    // Bit rate: free text in megabits per second; read only when an export starts.
    QHBoxLayout* bitrateRow = settingRow(rows, QStringLiteral("Bitrate (Mbps)"));
    bitrate_ = new QLineEdit;
    bitrate_->setObjectName(QStringLiteral("bitrateMbps"));
    bitrate_->setPlaceholderText(QStringLiteral("Auto"));
    bitrate_->setFixedWidth(120);
    connect(bitrate_, &QLineEdit::textEdited, this,
            [this](const QString& text) { controller_.setBitrateMbps(text.toStdString()); });
    bitrateRow->addWidget(bitrate_);
    bitrateRow->addWidget(WorkspaceLabels::text(QStringLiteral("Leave empty for auto"), TextSize::body, true));
    bitrateRow->addStretch(1);

    // Gamma: the six modes, in order.
    QHBoxLayout* gammaRow = settingRow(rows, QStringLiteral("Gamma"));
    gamma_ = new QComboBox;
    gamma_->setObjectName(QStringLiteral("gammaMode"));
    gamma_->setFixedWidth(260);
    for (const OutputSettings::Option& mode : OutputSettings::gammaModes)
        gamma_->addItem(QString::fromUtf8(mode.label), QString::fromLatin1(mode.value));
    connect(gamma_, &QComboBox::activated, this, [this](int index) {
        controller_.setGammaMode(OutputSettings::gammaModes[static_cast<std::size_t>(index)].value);
    });
    gammaRow->addWidget(gamma_);
    gammaRow->addStretch(1);

    // Compensation: four sliders and Reset, in a stack 360 wide.
    QHBoxLayout* compensationRow = settingRow(rows, QStringLiteral("Compensation"));
    auto* stack = new QWidget;
    stack->setFixedWidth(360);
    auto* stackLayout = new QVBoxLayout(stack);
    stackLayout->setContentsMargins(0, 0, 0, 0);
    stackLayout->setSpacing(8);
    for (std::size_t i = 0; i < OutputSettings::compensationSliders.size(); ++i) {
        const CompensationSlider& range = OutputSettings::compensationSliders[i];
        auto* sliderRow = new QHBoxLayout;
        sliderRow->setSpacing(10);
        QLabel* label = WorkspaceLabels::text(QString::fromLatin1(range.label), TextSize::body, true);
        label->setFixedWidth(70);
        auto* slider = new QSlider(Qt::Horizontal);
        slider->setObjectName(QStringLiteral("compensation-") + QString::fromLatin1(range.label));
        slider->setRange(0, stepCount(range));
        QLabel* value = WorkspaceLabels::text({}, TextSize::caption, true);
        value->setFixedWidth(44);
        value->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        connect(slider, &QSlider::valueChanged, this,
                [this, range](int position) { controller_.setCompensation(range.which, valueAt(range, position)); });
        sliderRow->addWidget(label);
        sliderRow->addWidget(slider, 1);
        sliderRow->addWidget(value);
        stackLayout->addLayout(sliderRow);
        compensation_[i] = {slider, value};
    }
    auto* resetRow = new QHBoxLayout;
    resetRow->addStretch(1);
    auto* reset = new QPushButton(QStringLiteral("Reset"));
    reset->setObjectName(QStringLiteral("compensationReset"));
    connect(reset, &QPushButton::clicked, this, [this] { controller_.resetCompensation(); });
    resetRow->addWidget(reset);
    stackLayout->addLayout(resetRow);
    compensationRow->addWidget(stack, 0, Qt::AlignTop);
    compensationRow->addStretch(1);

    sync();
}

void OutputSettingsRows::sync()
{
    for (std::size_t i = 0; i < OutputSettings::containers.size(); ++i) {
        QAbstractButton* segment = container_->button(static_cast<int>(i));
        const bool chosen = controller_.outputContainer() == OutputSettings::containers[i].value;
        if (chosen) {
            const QSignalBlocker blocker(container_);
            segment->setChecked(true);
        }
        // The chosen segment stands out in the accent colour, as a segmented control's does.
        QPalette palette = segment->palette();
        palette.setColor(QPalette::Button,
                         chosen ? VelmoraPalette::blue() : VelmoraPalette::controlFill());
        segment->setPalette(palette);
    }
    const QString bitrate = QString::fromStdString(controller_.bitrateMbps());
    if (bitrate_->text() != bitrate)
        bitrate_->setText(bitrate);
    const int gammaIndex = gamma_->findData(QString::fromStdString(controller_.gammaMode()));
    if (gammaIndex >= 0 && gammaIndex != gamma_->currentIndex()) {
        const QSignalBlocker blocker(gamma_);
        gamma_->setCurrentIndex(gammaIndex);
    }
    for (std::size_t i = 0; i < compensation_.size(); ++i) {
        const CompensationSlider& range = OutputSettings::compensationSliders[i];
        const double value = controller_.compensation(range.which);
        const QSignalBlocker blocker(compensation_[i].slider);
        compensation_[i].slider->setValue(positionFor(range, value));
        compensation_[i].value->setText(QString::fromStdString(OutputSettings::valueText(range.which, value)));
    }
}

} // namespace velmora
