#include "inspectors/ProjectSettingsSheet.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShortcut>
#include <QShowEvent>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include "controls/VelmoraStyleSheet.h"
#include "inspectors/ProjectSettingsController.h"
#include "inspectors/ProjectSettingsPresets.h"
#include "platform/foundation/ShownText.h"

namespace velmora {
namespace {

QString qt(const std::string& text)
{
    return QString::fromStdString(text);
}

// A labelled row: the label's text leads, the control follows.
QWidget* labelledRow(const QString& text, QWidget* control, QWidget* parent)
{
    auto* row = new QWidget(parent);
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* label = new QLabel(text, row);
    label->setBuddy(control);
    layout->addWidget(label);
    layout->addWidget(control, 1);
    return row;
}

// Shows `value` in an integer field unless the field already reads as that value (so typing is
// not disturbed). The field reads and writes integers in the user's locale.
void showInteger(QLineEdit& field, int value)
{
    bool ok = false;
    const int shown = field.locale().toInt(field.text(), &ok);
    if (!ok || shown != value) {
        const QSignalBlocker blocker(field);
        field.setText(field.locale().toString(value));
    }
}

QLineEdit* integerField(const QString& placeholder, const QString& name, QWidget* parent)
{
    auto* field = new QLineEdit(parent);
    field->setObjectName(name);
    field->setPlaceholderText(placeholder);
    field->setValidator(new QIntValidator(field));
    field->setFixedWidth(90);
    return field;
}

} // namespace

ProjectSettingsSheet::ProjectSettingsSheet(TimelinePreviewEngine& engine, std::vector<std::string> lutNames,
                                           std::function<void()> onApply, std::function<void()> onDismiss,
                                           QWidget* parent)
    : QWidget(parent),
      controller_(new ProjectSettingsController(engine, std::move(lutNames), std::move(onApply), std::move(onDismiss),
                                                this))
{
    setObjectName(QStringLiteral("ProjectSettingsSheet"));
    setFixedWidth(sheetWidth);
    setStyleSheet(VelmoraStyleSheet::buttonLooks());
    buildForm();
    bindController();
}

ProjectSettingsSheet::~ProjectSettingsSheet() = default;

void ProjectSettingsSheet::buildForm()
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(24, 24, 24, 24);
    layout->setSpacing(16);
    layout->setSizeConstraint(QLayout::SetMinAndMaxSize);

    auto* title = new QLabel(QStringLiteral("Project Settings"), this);
    title->setObjectName(QStringLiteral("titleLabel"));
    title->setFont(VelmoraStyleSheet::font(VelmoraStyleSheet::title2, QFont::Bold));
    layout->addWidget(title);

    nameField_ = new QLineEdit(this);
    nameField_->setObjectName(QStringLiteral("projectNameField"));
    nameField_->setPlaceholderText(QStringLiteral("Project name"));
    layout->addWidget(nameField_);

    resolutionPicker_ = new QComboBox(this);
    resolutionPicker_->setObjectName(QStringLiteral("resolutionPicker"));
    for (const ProjectResolutionPreset& preset : ProjectSettingsPresets::resolutions())
        resolutionPicker_->addItem(qt(preset.label));
    resolutionPicker_->addItem(QString::fromUtf8(ProjectSettingsPresets::customLabel));
    layout->addWidget(labelledRow(QStringLiteral("Canvas resolution"), resolutionPicker_, this));

    customRow_ = new QWidget(this);
    customRow_->setObjectName(QStringLiteral("customSizeRow"));
    auto* customLayout = new QHBoxLayout(customRow_);
    customLayout->setContentsMargins(0, 0, 0, 0);
    customLayout->setSpacing(10);
    widthField_ = integerField(QStringLiteral("Width"), QStringLiteral("customWidthField"), customRow_);
    heightField_ = integerField(QStringLiteral("Height"), QStringLiteral("customHeightField"), customRow_);
    auto* times = new QLabel(QStringLiteral("\u00D7"), customRow_);
    times->setProperty("velmoraRole", QStringLiteral("muted"));
    aspectLabel_ = new QLabel(customRow_);
    aspectLabel_->setObjectName(QStringLiteral("aspectLabel"));
    aspectLabel_->setProperty("velmoraRole", QStringLiteral("muted"));
    aspectLabel_->setFont(VelmoraStyleSheet::font(VelmoraStyleSheet::caption));
    customLayout->addWidget(widthField_);
    customLayout->addWidget(times);
    customLayout->addWidget(heightField_);
    customLayout->addWidget(aspectLabel_);
    customLayout->addStretch(1);
    layout->addWidget(customRow_);

    fpsPicker_ = new QComboBox(this);
    fpsPicker_->setObjectName(QStringLiteral("frameRatePicker"));
    for (const double rate : ProjectSettingsPresets::fpsOptions())
        fpsPicker_->addItem(qt(ProjectSettingsPresets::frameRateLabel(rate)), rate);
    layout->addWidget(labelledRow(QStringLiteral("Frame rate"), fpsPicker_, this));

    auto* lutRow = new QWidget(this);
    auto* lutLayout = new QHBoxLayout(lutRow);
    lutLayout->setContentsMargins(0, 0, 0, 0);
    auto* lutLabel = new QLabel(QStringLiteral("Default LUT"), lutRow);
    lutLabel->setProperty("velmoraRole", QStringLiteral("muted"));
    lutPicker_ = new QComboBox(lutRow);
    lutPicker_->setObjectName(QStringLiteral("defaultLutPicker"));
    lutPicker_->setAccessibleName(QStringLiteral("Default LUT"));
    for (const std::string& name : controller_->lutOptions())
        lutPicker_->addItem(qt(controller_->lutTitle(name)), qt(name));
    lutLabel->setBuddy(lutPicker_);
    lutLayout->addWidget(lutLabel);
    lutLayout->addWidget(lutPicker_);
    lutLayout->addStretch(1);
    layout->addWidget(lutRow);

    auto* buttons = new QWidget(this);
    auto* buttonLayout = new QHBoxLayout(buttons);
    buttonLayout->setContentsMargins(0, 0, 0, 0);
    buttonLayout->setSpacing(10);
    applyButton_ = new QPushButton(QStringLiteral("Apply"), buttons);
    applyButton_->setObjectName(QStringLiteral("applyButton"));
    VelmoraStyleSheet::makeProminent(*applyButton_);
    cancelButton_ = new QPushButton(QStringLiteral("Cancel"), buttons);
    cancelButton_->setObjectName(QStringLiteral("cancelButton"));
    VelmoraStyleSheet::makeBordered(*cancelButton_);
    buttonLayout->addWidget(applyButton_);
    buttonLayout->addWidget(cancelButton_);
    buttonLayout->addStretch(1);
    layout->addWidget(buttons);

    // The default and cancel actions of the sheet, wherever the focus is inside it.
    for (const int key : {int(Qt::Key_Return), int(Qt::Key_Enter)}) {
        auto* shortcut = new QShortcut(QKeySequence(key), this);
        shortcut->setContext(Qt::WidgetWithChildrenShortcut);
        connect(shortcut, &QShortcut::activated, controller_, &ProjectSettingsController::apply);
    }
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    escape->setContext(Qt::WidgetWithChildrenShortcut);
    connect(escape, &QShortcut::activated, controller_, &ProjectSettingsController::cancel);
}

void ProjectSettingsSheet::bindController()
{
    ProjectSettingsController* c = controller_;
    connect(nameField_, &QLineEdit::textEdited, c, [c](const QString& text) { c->setProjectName(text.toStdString()); });
    connect(resolutionPicker_, &QComboBox::activated, c,
            [this, c](int index) { c->setResolutionLabel(resolutionPicker_->itemText(index).toStdString()); });
    const auto bindInteger = [c](QLineEdit* field, void (ProjectSettingsController::*setter)(int)) {
        connect(field, &QLineEdit::textEdited, c, [field, c, setter](const QString& text) {
            bool ok = false;
            const int value = field->locale().toInt(text, &ok);
            if (ok)
                (c->*setter)(value);
        });
    };
    bindInteger(widthField_, &ProjectSettingsController::setCustomWidth);
    bindInteger(heightField_, &ProjectSettingsController::setCustomHeight);
    connect(fpsPicker_, &QComboBox::activated, c,
            [this, c](int index) { c->setFps(fpsPicker_->itemData(index).toDouble()); });
    connect(lutPicker_, &QComboBox::activated, c,
            [this, c](int index) { c->setLutSelection(lutPicker_->itemData(index).toString().toStdString()); });
    connect(applyButton_, &QPushButton::clicked, c, &ProjectSettingsController::apply);
    connect(cancelButton_, &QPushButton::clicked, c, &ProjectSettingsController::cancel);

    connect(c, &ProjectSettingsController::projectNameChanged, this, &ProjectSettingsSheet::showName);
    connect(c, &ProjectSettingsController::resolutionLabelChanged, this, &ProjectSettingsSheet::showResolution);
    connect(c, &ProjectSettingsController::useCustomResolutionChanged, this, &ProjectSettingsSheet::showCustomSize);
    connect(c, &ProjectSettingsController::customWidthChanged, this, &ProjectSettingsSheet::showCustomSize);
    connect(c, &ProjectSettingsController::customHeightChanged, this, &ProjectSettingsSheet::showCustomSize);
    connect(c, &ProjectSettingsController::fpsChanged, this, &ProjectSettingsSheet::showFps);
    connect(c, &ProjectSettingsController::lutSelectionChanged, this, &ProjectSettingsSheet::showLut);
    showName();
    showResolution();
    showCustomSize();
    showFps();
    showLut();
}

void ProjectSettingsSheet::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    // Each presentation starts from the project as it is now; a window coming back from being
    // minimised is not a new presentation.
    if (!event->spontaneous())
        controller_->fillIn();
}

void ProjectSettingsSheet::showName()
{
    // The field shows the name as every place does; a name left unedited is kept whole.
    const QString name = qt(shownText(controller_->projectName()));
    if (nameField_->text() != name) {
        const QSignalBlocker blocker(nameField_);
        nameField_->setText(name);
    }
}

void ProjectSettingsSheet::showResolution()
{
    const QSignalBlocker blocker(resolutionPicker_);
    resolutionPicker_->setCurrentIndex(resolutionPicker_->findText(qt(controller_->resolutionLabel())));
}

void ProjectSettingsSheet::showCustomSize()
{
    customRow_->setVisible(controller_->useCustomResolution());
    showInteger(*widthField_, controller_->customWidth());
    showInteger(*heightField_, controller_->customHeight());
    aspectLabel_->setText(qt(controller_->aspectText()));
}

void ProjectSettingsSheet::showFps()
{
    // Only an exact match selects an entry: a rate the picker does not offer shows none.
    int index = -1;
    for (int i = 0; i < fpsPicker_->count(); ++i) {
        if (fpsPicker_->itemData(i).toDouble() == controller_->fps())
            index = i;
    }
    const QSignalBlocker blocker(fpsPicker_);
    fpsPicker_->setCurrentIndex(index);
}

void ProjectSettingsSheet::showLut()
{
    const QSignalBlocker blocker(lutPicker_);
    // The project's own LUT joins the names once fillIn has read it.
    const std::vector<std::string> options = controller_->lutOptions();
    bool same = static_cast<std::size_t>(lutPicker_->count()) == options.size();
    for (int i = 0; same && i < lutPicker_->count(); ++i) {
        const std::string& name = options[static_cast<std::size_t>(i)];
        same = lutPicker_->itemData(i).toString() == qt(name) && lutPicker_->itemText(i) == qt(controller_->lutTitle(name));
    }
    if (!same) {
        lutPicker_->clear();
        for (const std::string& name : options)
            lutPicker_->addItem(qt(controller_->lutTitle(name)), qt(name));
    }
    lutPicker_->setCurrentIndex(lutPicker_->findData(qt(controller_->lutSelection())));
}

} // namespace velmora
