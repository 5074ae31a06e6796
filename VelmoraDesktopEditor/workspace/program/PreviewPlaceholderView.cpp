#include "workspace/program/PreviewPlaceholderView.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "controls/ButtonTitle.h"
#include "controls/VelmoraSymbols.h"
#include "workspace/EditorWorkspaceStyle.h"

namespace velmora {

PreviewPlaceholderView::PreviewPlaceholderView(EditorWorkspaceController& workspace, QWidget* parent)
    : QWidget(parent), workspace_(workspace), projectReadyRow_(new QWidget(this)),
      projectReady_(new QLabel(QStringLiteral("Project ready"), projectReadyRow_)), heading_(new QLabel(this)),
      explanation_(new QLabel(this)), buttonRow_(new QHBoxLayout)
{
    setObjectName(QStringLiteral("previewPlaceholder"));
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(24, 24, 24, 24);
    column->setSpacing(14);

    auto* readyRow = new QHBoxLayout(projectReadyRow_);
    readyRow->setContentsMargins(0, 0, 0, 0);
    readyRow->setSpacing(6);
    auto* readyIcon = new QLabel(projectReadyRow_);
    VelmoraSymbols::apply(*readyIcon, "checkmark.circle.fill", 16, EditorWorkspaceStyle::ready());
    projectReady_->setObjectName(QStringLiteral("projectReadyLabel"));
    readyRow->addStretch(1);
    readyRow->addWidget(readyIcon);
    readyRow->addWidget(projectReady_);
    readyRow->addStretch(1);
    column->addWidget(projectReadyRow_);

    heading_->setObjectName(QStringLiteral("previewHeading"));
    heading_->setAlignment(Qt::AlignCenter);
    heading_->setWordWrap(true);
    column->addWidget(heading_);
    explanation_->setObjectName(QStringLiteral("previewExplanation"));
    explanation_->setAlignment(Qt::AlignCenter);
    explanation_->setWordWrap(true);
    EditorWorkspaceStyle::setMuted(*explanation_);
    EditorWorkspaceStyle::setCaption(*explanation_);
    column->addWidget(explanation_);
    buttonRow_->setSpacing(10);
    column->addLayout(buttonRow_);
    refresh();
}

void PreviewPlaceholderView::refresh()
{
    EditorWorkspaceController::PreviewPlaceholder placeholder = workspace_.previewPlaceholder();
    if (built_ && placeholder == shown_)
        return;
    projectReadyRow_->setVisible(placeholder.projectReady);
    heading_->setText(QString::fromStdString(placeholder.heading));
    EditorWorkspaceStyle::setStyleFlag(*heading_, "warning", placeholder.headingIsWarning);
    explanation_->setText(QString::fromStdString(placeholder.explanation));
    explanation_->setVisible(!placeholder.explanation.empty());

    if (!built_ || placeholder.buttons != shown_.buttons) {
        // A button may be the one whose click led here: it goes once control is back in the loop.
        for (QPushButton* button : buttons_) {
            button->hide();
            buttonRow_->removeWidget(button);
            button->deleteLater();
        }
        buttons_.clear();
        while (QLayoutItem* item = buttonRow_->takeAt(0))
            delete item;
        if (!placeholder.buttons.empty())
            buttonRow_->addStretch(1);
        for (const auto& definition : placeholder.buttons) {
            auto* button = new QPushButton(ButtonTitle::literal(QString::fromStdString(definition.title)), this);
            EditorWorkspaceStyle::setStyleFlag(*button, "prominent", definition.prominent);
            button->setFocusPolicy(Qt::NoFocus);
            connect(button, &QPushButton::clicked, this,
                    [this, action = definition.action] { workspace_.runPlaceholderAction(action); });
            buttonRow_->addWidget(button);
            buttons_.push_back(button);
        }
        if (!placeholder.buttons.empty())
            buttonRow_->addStretch(1);
    }
    shown_ = std::move(placeholder);
    built_ = true;
}

} // namespace velmora
