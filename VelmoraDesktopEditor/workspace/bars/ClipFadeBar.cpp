#include "workspace/bars/ClipFadeBar.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScopedValueRollback>

#include "platform/foundation/NumberText.h"
#include "platform/foundation/StringText.h"
#include "preview/StatusText.h"
#include "workspace/EditorWorkspaceController.h"
#include "workspace/EditorWorkspaceStyle.h"

namespace velmora {

ClipFadeBar::ClipFadeBar(EditorWorkspaceController& workspace, QWidget* parent)
    : QWidget(parent), workspace_(workspace), fadeInField_(new QLineEdit(this)), fadeOutField_(new QLineEdit(this)),
      applyButton_(new QPushButton(QStringLiteral("Apply"), this)),
      clearButton_(new QPushButton(QStringLiteral("Clear"), this))
{
    setObjectName(QStringLiteral("clipFadeBar"));
    setAttribute(Qt::WA_StyledBackground);
    setToolTip(QStringLiteral("Video fade in/out at clip edges (seconds), like the web editor"));
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(10, 6, 10, 6);
    row->setSpacing(10);

    auto* title = new QLabel(QStringLiteral("Fade"), this);
    title->setObjectName(QStringLiteral("clipFadeTitle"));
    title->setFixedWidth(36);
    row->addWidget(title);

    const auto addField = [&](const QString& name, QLineEdit* field, const char* objectName) {
        auto* group = new QHBoxLayout;
        group->setSpacing(4);
        group->addWidget(EditorWorkspaceStyle::mutedCaption(name, this));
        field->setObjectName(QString::fromLatin1(objectName));
        field->setPlaceholderText(QStringLiteral("0"));
        field->setFixedWidth(44);
        group->addWidget(field);
        group->addWidget(EditorWorkspaceStyle::mutedCaption(QStringLiteral("s"), this));
        row->addLayout(group);
    };
    addField(QStringLiteral("In"), fadeInField_, "fadeInField");
    addField(QStringLiteral("Out"), fadeOutField_, "fadeOutField");

    for (QPushButton* button : {applyButton_, clearButton_}) {
        EditorWorkspaceStyle::setCaption(*button);
        button->setFocusPolicy(Qt::NoFocus);
        row->addWidget(button);
    }

    // Typing changes the value the next Apply writes; text that is not a number leaves it. The
    // field being typed in keeps its text meanwhile.
    connect(fadeInField_, &QLineEdit::textEdited, this, [this](const QString& text) {
        const QScopedValueRollback typing(typingIn_, fadeInField_);
        if (const auto seconds = parseSeconds(text))
            workspace_.setClipFadeInUI(*seconds);
    });
    connect(fadeOutField_, &QLineEdit::textEdited, this, [this](const QString& text) {
        const QScopedValueRollback typing(typingIn_, fadeOutField_);
        if (const auto seconds = parseSeconds(text))
            workspace_.setClipFadeOutUI(*seconds);
    });
    connect(fadeInField_, &QLineEdit::returnPressed, this, &ClipFadeBar::apply);
    connect(fadeOutField_, &QLineEdit::returnPressed, this, &ClipFadeBar::apply);
    connect(applyButton_, &QPushButton::clicked, this, &ClipFadeBar::apply);
    connect(clearButton_, &QPushButton::clicked, this, [this] {
        if (const auto clipId = workspace_.fadeBarClipId())
            workspace_.clearClipFades(*clipId);
    });
    connect(&workspace_, &EditorWorkspaceController::clipFadeInUIChanged, this, &ClipFadeBar::refresh);
    connect(&workspace_, &EditorWorkspaceController::clipFadeOutUIChanged, this, &ClipFadeBar::refresh);
    refresh();
}

std::optional<double> ClipFadeBar::parseSeconds(const QString& text)
{
    return NumberText::parseDouble(StringText::trimmed(text.toStdString()));
}

QString ClipFadeBar::formatSeconds(double seconds)
{
    return QString::fromStdString(StatusText::fixed(seconds, 1));
}

void ClipFadeBar::refresh()
{
    setVisible(workspace_.fadeBarClipId().has_value());
    showValue(*fadeInField_, workspace_.clipFadeInUI());
    showValue(*fadeOutField_, workspace_.clipFadeOutUI());
}

void ClipFadeBar::showValue(QLineEdit& field, double seconds)
{
    if (&field == typingIn_)
        return;
    // While the user types, the field keeps the text as typed unless the value moved elsewhere.
    if (field.hasFocus()) {
        const std::optional<double> typed = parseSeconds(field.text());
        if (!typed || *typed == seconds)
            return;
    }
    field.setText(formatSeconds(seconds));
}

void ClipFadeBar::apply()
{
    const std::optional<std::string> clipId = workspace_.fadeBarClipId();
    // Editing ends first, so the workspace's single-key shortcuts act again.
    if (QWidget* focused = QApplication::focusWidget(); focused == fadeInField_ || focused == fadeOutField_)
        focused->clearFocus();
    if (clipId)
        workspace_.applyClipFadesFromUI(*clipId);
    refresh();
}

} // namespace velmora
