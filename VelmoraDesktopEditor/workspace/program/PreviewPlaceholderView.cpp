#include "workspace/program/PreviewPlaceholderView.h"

#include <algorithm>

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "controls/ButtonTitle.h"
#include "controls/VelmoraSymbols.h"
#include "workspace/EditorWorkspaceStyle.h"

namespace velmora {

namespace {

struct Spacing {
    int margin;
    int gap;
};

Spacing spacingFor(PreviewPlaceholderView::Fit fit)
{
    return fit == PreviewPlaceholderView::Fit::roomy ? Spacing{24, 14} : Spacing{8, 4};
}

} // namespace

PreviewPlaceholderView::PreviewPlaceholderView(EditorWorkspaceController& workspace, QWidget* parent)
    : QWidget(parent), workspace_(workspace), projectReadyRow_(new QWidget(this)),
      projectReady_(new QLabel(QStringLiteral("Project ready"), projectReadyRow_)), heading_(new QLabel(this)),
      explanation_(new QLabel(this)), buttonRow_(new QHBoxLayout)
{
    setObjectName(QStringLiteral("previewPlaceholder"));
    auto* column = new QVBoxLayout(this);
    const Spacing roomy = spacingFor(Fit::roomy);
    column->setContentsMargins(roomy.margin, roomy.margin, roomy.margin, roomy.margin);
    column->setSpacing(roomy.gap);

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
            // Measured at once (heightFor) in the style it will be drawn in.
            button->ensurePolished();
            buttonRow_->addWidget(button);
            buttons_.push_back(button);
        }
        if (!placeholder.buttons.empty())
            buttonRow_->addStretch(1);
    }
    shown_ = std::move(placeholder);
    built_ = true;
    showExplanation();
}

void PreviewPlaceholderView::showExplanation()
{
    const QString text = QString::fromStdString(shown_.explanation);
    const bool oneLine = fit_ == Fit::tightest;
    explanation_->setWordWrap(!oneLine);
    if (oneLine) {
        const int room = std::max(fitWidth_ - 2 * spacingFor(fit_).margin, 0);
        explanation_->ensurePolished();
        const QString line = explanation_->fontMetrics().elidedText(text, Qt::ElideRight, room);
        explanation_->setText(line);
        explanation_->setToolTip(line == text ? QString() : text);
    } else {
        explanation_->setText(text);
        explanation_->setToolTip(QString());
    }
}

int PreviewPlaceholderView::heightFor(int width, Fit fit) const
{
    const Spacing spacing = spacingFor(fit);
    const int inner = std::max(width - 2 * spacing.margin, 1);
    std::vector<int> rows;
    if (!projectReadyRow_->isHidden())
        rows.push_back(projectReadyRow_->sizeHint().height());
    heading_->ensurePolished();
    rows.push_back(heading_->heightForWidth(inner));
    if (!explanation_->isHidden()) {
        explanation_->ensurePolished();
        const QFontMetrics metrics = explanation_->fontMetrics();
        const QString text = QString::fromStdString(shown_.explanation);
        rows.push_back(fit == Fit::tightest
                           ? metrics.height()
                           : metrics.boundingRect(QRect(0, 0, inner, 100000), Qt::TextWordWrap | Qt::AlignCenter, text)
                                 .height());
    }
    int buttonHeight = 0;
    for (const QPushButton* button : buttons_)
        buttonHeight = std::max(buttonHeight, button->sizeHint().height());
    if (!buttons_.empty())
        rows.push_back(buttonHeight);
    int total = 2 * spacing.margin + spacing.gap * (static_cast<int>(rows.size()) - 1);
    for (int row : rows)
        total += row;
    return total;
}

void PreviewPlaceholderView::setFit(Fit fit, int width)
{
    if (fit == fit_ && width == fitWidth_)
        return;
    fit_ = fit;
    fitWidth_ = width;
    const Spacing spacing = spacingFor(fit);
    layout()->setContentsMargins(spacing.margin, spacing.margin, spacing.margin, spacing.margin);
    layout()->setSpacing(spacing.gap);
    showExplanation();
}

} // namespace velmora
