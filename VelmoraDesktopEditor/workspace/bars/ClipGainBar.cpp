#include "workspace/bars/ClipGainBar.h"

#include <cmath>

#include <QHBoxLayout>
#include <QLabel>

#include "controls/VelmoraToolbarSlider.h"
#include "platform/foundation/NumberText.h"
#include "workspace/EditorWorkspaceController.h"

namespace velmora {

ClipGainBar::ClipGainBar(EditorWorkspaceController& workspace, QWidget* parent)
    : QWidget(parent), workspace_(workspace), slider_(new VelmoraToolbarSlider(0, 300, 1, this)),
      valueLabel_(new QLabel(this))
{
    setObjectName(QStringLiteral("clipGainBar"));
    setAttribute(Qt::WA_StyledBackground);
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(12, 8, 12, 8);
    row->setSpacing(10);

    auto* title = new QLabel(QStringLiteral("Clip gain"), this);
    title->setObjectName(QStringLiteral("clipGainTitle"));
    title->setFixedWidth(62);
    row->addWidget(title);

    slider_->setObjectName(QStringLiteral("clipGainSlider"));
    slider_->setMinimumWidth(140);
    slider_->setMaximumWidth(220);
    row->addWidget(slider_);

    valueLabel_->setObjectName(QStringLiteral("clipGainValue"));
    valueLabel_->setFixedWidth(44);
    valueLabel_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    row->addWidget(valueLabel_);

    connect(slider_, &VelmoraToolbarSlider::valueEdited, this,
            [this](double value) { workspace_.changeClipGain(value); });
    connect(&workspace_, &EditorWorkspaceController::clipGainUIChanged, this, &ClipGainBar::refresh);
    refresh();
}

void ClipGainBar::refresh()
{
    setVisible(workspace_.clipGainShown());
    const double percent = workspace_.clipGainUI();
    slider_->setBoundValue(percent);
    const double whole = std::isfinite(percent) ? std::trunc(percent) : 0.0;
    valueLabel_->setText(QString::fromStdString(NumberText::integer(static_cast<std::int64_t>(whole)) + "%"));
}

} // namespace velmora
