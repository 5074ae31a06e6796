#include "inspectors/ClipGradeInspectorSheet.h"

#include <QCheckBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QShortcut>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include "controls/VelmoraDarkPopUpPicker.h"
#include "controls/VelmoraPalette.h"
#include "controls/VelmoraStyleSheet.h"
#include "inspectors/ContinuousGradeSlider.h"
#include "model/LutResolution.h"

namespace velmora {
namespace {

using VelmoraPalette::css;
using VelmoraPalette::grey;

// The sheet's own greys.
QColor gradeLabel() { return grey(0.92); }
QColor gradeMuted() { return grey(0.68); }
QColor gradePanelBg() { return grey(0.12); }
QColor gradeSectionBg() { return grey(0.08); }
QColor footerBg() { return grey(0.10); }

constexpr int kLabelWidth = 92;
constexpr int kReadoutWidth = 52;

QString qt(const std::string& text)
{
    return QString::fromStdString(text);
}

QString inspectorSheetStyle()
{
    return QStringLiteral(
               "velmora--ClipGradeInspectorSheet { background: %1; }\n"
               "velmora--ClipGradeInspectorSheet QLabel { color: %2; }\n"
               "velmora--ClipGradeInspectorSheet QLabel[gradeRole=\"muted\"] { color: %3; }\n"
               "velmora--ClipGradeInspectorSheet QLabel[gradeRole=\"accent\"] { color: %4; }\n"
               "QScrollArea#gradeScroll, QWidget#gradeScrollContent { background: %1; border: none; }\n"
               "QFrame[gradeCard=\"true\"] { background: %5; border-radius: 10px; }\n"
               "QFrame[gradeDivider=\"true\"] { background: %6; border: none; max-height: 1px; min-height: 1px; }\n"
               "QWidget#footer { background: %7; }\n"
               "QPushButton#doneButton, QPushButton#resetButton { color: %2; background: %8;"
               " border: 1px solid %9; border-radius: 5px; padding: 3px 12px; font-size: 12px; }\n"
               "QCheckBox#moodSwitch::indicator { width: 30px; height: 16px; border-radius: 8px; background: %9; }\n"
               "QCheckBox#moodSwitch::indicator:checked { background: %10; }\n")
        .arg(css(gradePanelBg()), css(gradeLabel()), css(gradeMuted()), css(VelmoraPalette::orange()),
             css(gradeSectionBg()), css(QColor(255, 255, 255, 38)), css(footerBg()), css(grey(0.24)),
             css(grey(0.34)), css(VelmoraPalette::accent()));
}

QLabel* label(const QString& text, int pixelSize, QWidget* parent, const char* role = nullptr,
              QFont::Weight weight = QFont::Normal)
{
    auto* result = new QLabel(text, parent);
    result->setFont(VelmoraStyleSheet::font(pixelSize, weight));
    if (role)
        result->setProperty("gradeRole", QString::fromLatin1(role));
    return result;
}

QLabel* sectionTitle(const QString& text, QWidget* parent)
{
    return label(text, VelmoraStyleSheet::caption, parent, "accent", QFont::Bold);
}

QLabel* rowLabel(const QString& text, QWidget* parent)
{
    QLabel* result = label(text, VelmoraStyleSheet::caption, parent);
    result->setFixedWidth(kLabelWidth);
    return result;
}

QFrame* section(const char* name, bool card, QWidget* parent, QVBoxLayout*& layout)
{
    auto* frame = new QFrame(parent);
    frame->setObjectName(QString::fromLatin1(name));
    frame->setProperty("gradeCard", card);
    layout = new QVBoxLayout(frame);
    layout->setSpacing(10);
    const int padding = card ? 12 : 0;
    layout->setContentsMargins(padding, padding, padding, padding);
    return frame;
}

QFrame* divider(QWidget* parent)
{
    auto* line = new QFrame(parent);
    line->setProperty("gradeDivider", true);
    line->setFrameShape(QFrame::NoFrame);
    return line;
}

std::vector<VelmoraDarkPopUpPicker::PopUpItem> lutItems(const std::vector<std::string>& names,
                                                        const std::optional<LutPickerValue>& shown = std::nullopt,
                                                        const ListedLutMarks& listed = {})
{
    std::vector<VelmoraDarkPopUpPicker::PopUpItem> items;
    items.reserve(names.size());
    for (const std::string& name : names)
        items.push_back({name, LutResolving::pickerTitle(name, shown, listed), false});
    return items;
}

} // namespace

ClipGradeInspectorSheet::ClipGradeInspectorSheet(std::string clipName, std::vector<std::string> lutNames,
                                                 ClipGradeInspectorController::EditStateBinding editState,
                                                 std::function<void()> onLiveChange, std::function<void()> onLiveEnd,
                                                 std::function<void()> onDismiss, QWidget* parent)
    : QWidget(parent),
      controller_(new ClipGradeInspectorController(std::move(clipName), std::move(lutNames), std::move(editState),
                                                   std::move(onLiveChange), std::move(onLiveEnd), std::move(onDismiss),
                                                   this))
{
    setObjectName(QStringLiteral("ClipGradeInspectorSheet"));
    setAttribute(Qt::WA_StyledBackground);
    setFixedSize(sheetWidth, sheetHeight);
    setStyleSheet(inspectorSheetStyle());

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(buildHeader());

    auto* scroll = new QScrollArea(this);
    scroll->setObjectName(QStringLiteral("gradeScroll"));
    scroll->setWidgetResizable(true);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    scroll->setFrameShape(QFrame::NoFrame);
    auto* content = new QWidget(scroll);
    content->setObjectName(QStringLiteral("gradeScrollContent"));
    auto* contentLayout = new QVBoxLayout(content);
    contentLayout->setContentsMargins(20, 0, 20, 16);
    contentLayout->setSpacing(18);
    contentLayout->addWidget(buildLutSection(content));
    contentLayout->addWidget(divider(content));
    contentLayout->addWidget(buildMoodSection(content));
    contentLayout->addWidget(divider(content));
    contentLayout->addWidget(buildBasicSection(content));
    contentLayout->addStretch(1);
    scroll->setWidget(content);
    layout->addWidget(scroll, 1);
    layout->addWidget(buildFooter());

    connect(controller_, &ClipGradeInspectorController::editStateWritten, this, &ClipGradeInspectorSheet::refresh);
    refresh();
}

ClipGradeInspectorSheet::~ClipGradeInspectorSheet() = default;

QWidget* ClipGradeInspectorSheet::buildHeader()
{
    auto* header = new QWidget(this);
    header->setObjectName(QStringLiteral("header"));
    auto* layout = new QHBoxLayout(header);
    layout->setContentsMargins(20, 18, 20, 12);
    auto* titles = new QVBoxLayout;
    titles->setSpacing(4);
    titles->addWidget(label(QStringLiteral("Mood & Basic Grade"), VelmoraStyleSheet::title3, header, nullptr, QFont::Bold));
    QLabel* clip = label(qt(controller_->clipName()), VelmoraStyleSheet::caption, header, "accent");
    clip->setObjectName(QStringLiteral("clipNameLabel"));
    clip->setMaximumWidth(sheetWidth - 140);
    clip->setText(clip->fontMetrics().elidedText(qt(controller_->clipName()), Qt::ElideRight, clip->maximumWidth()));
    titles->addWidget(clip);
    layout->addLayout(titles);
    layout->addStretch(1);
    doneButton_ = new QPushButton(QStringLiteral("Done"), header);
    doneButton_->setObjectName(QStringLiteral("doneButton"));
    doneButton_->setAutoDefault(false);
    layout->addWidget(doneButton_);
    connect(doneButton_, &QPushButton::clicked, controller_, &ClipGradeInspectorController::done);
    // "Done" is the window's default action.
    for (const int key : {int(Qt::Key_Return), int(Qt::Key_Enter)}) {
        auto* shortcut = new QShortcut(QKeySequence(key), this);
        shortcut->setContext(Qt::WidgetWithChildrenShortcut);
        connect(shortcut, &QShortcut::activated, controller_, &ClipGradeInspectorController::done);
    }
    return header;
}

QWidget* ClipGradeInspectorSheet::buildLutSection(QWidget* parent)
{
    QVBoxLayout* layout = nullptr;
    QFrame* frame = section("lutSection", true, parent, layout);
    layout->addWidget(sectionTitle(QStringLiteral("CLIP LUT"), frame));
    auto* row = new QHBoxLayout;
    row->addWidget(rowLabel(QStringLiteral("Conversion"), frame));
    lutPicker_ = new VelmoraDarkPopUpPicker(frame);
    lutPicker_->setObjectName(QStringLiteral("lutPicker"));
    lutPicker_->setSelectionAndItems(controller_->editState().lutReference, lutItems(controller_->lutNames()));
    lutPicker_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    lutPicker_->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    row->addWidget(lutPicker_, 1);
    layout->addLayout(row);
    layout->addWidget(
        label(QStringLiteral("Each clip keeps its own LUT \u2014 like the web editor."), VelmoraStyleSheet::caption2, frame, "muted"));
    // The picker writes its own selection first and reports the change after; the edit state
    // takes the chosen id and the owner is told once.
    connect(lutPicker_, &VelmoraDarkPopUpPicker::selectionWritten, controller_,
            [this](const QString& id) { controller_->pickLut(id.toStdString()); });
    return frame;
}

QWidget* ClipGradeInspectorSheet::buildMoodSection(QWidget* parent)
{
    QVBoxLayout* layout = nullptr;
    QFrame* frame = section("moodSection", true, parent, layout);
    auto* titleRow = new QHBoxLayout;
    titleRow->addWidget(sectionTitle(QStringLiteral("VELMORA MOOD"), frame));
    titleRow->addStretch(1);
    moodSwitch_ = new QCheckBox(frame);
    moodSwitch_->setObjectName(QStringLiteral("moodSwitch"));
    moodSwitch_->setAccessibleName(QStringLiteral("ON"));
    titleRow->addWidget(moodSwitch_);
    layout->addLayout(titleRow);
    connect(moodSwitch_, &QCheckBox::toggled, controller_,
            [this](bool checked) { controller_->setMoodSwitch(checked); });

    auto* pickerRow = new QHBoxLayout;
    pickerRow->addWidget(rowLabel(QStringLiteral("Mood"), frame));
    moodPicker_ = new VelmoraDarkPopUpPicker(frame);
    moodPicker_->setObjectName(QStringLiteral("moodPicker"));
    moodPicker_->setSelectionAndItems(controller_->editState().moodKey, VelmoraDarkPopUpPicker::moodItems());
    moodPicker_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    moodPicker_->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    pickerRow->addWidget(moodPicker_, 1);
    layout->addLayout(pickerRow);
    connect(moodPicker_, &VelmoraDarkPopUpPicker::selectionWritten, controller_,
            [this](const QString& key) { controller_->pickMood(key.toStdString()); });

    for (const ClipGradeCatalog::SliderSpec& definition : ClipGradeCatalog::moodSliders())
        layout->addWidget(buildRow(definition, true, frame));
    return frame;
}

QWidget* ClipGradeInspectorSheet::buildBasicSection(QWidget* parent)
{
    QVBoxLayout* layout = nullptr;
    QFrame* frame = section("basicSection", false, parent, layout);
    layout->addWidget(sectionTitle(QStringLiteral("BASIC GRADE"), frame));
    for (const ClipGradeCatalog::SliderSpec& definition : ClipGradeCatalog::basicSliders())
        layout->addWidget(buildRow(definition, false, frame));
    return frame;
}

QWidget* ClipGradeInspectorSheet::buildRow(const ClipGradeCatalog::SliderSpec& definition, bool moodSection, QWidget* parent)
{
    auto* row = new QWidget(parent);
    row->setObjectName(qt("row_" + definition.id));
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(8);
    layout->addWidget(rowLabel(qt(definition.label), row));
    auto* slider = new ContinuousGradeSlider(definition.min, definition.max, definition.step, row);
    slider->setObjectName(QStringLiteral("ContinuousGradeSlider"));
    layout->addWidget(slider, 1);
    QLabel* readout = label(QString(), VelmoraStyleSheet::caption, row, "muted");
    readout->setObjectName(QStringLiteral("readout"));
    readout->setFont(VelmoraStyleSheet::font(VelmoraStyleSheet::caption, QFont::Normal, true));
    readout->setFixedWidth(kReadoutWidth);
    readout->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    layout->addWidget(readout);
    rows_[definition.id] = Row{definition, moodSection ? controller_->moodBinding(definition.id) : controller_->basicBinding(definition.id),
                         slider, readout};

    const std::string id = definition.id;
    connect(slider, &ContinuousGradeSlider::valueEdited, controller_,
            [this, id](double value) { controller_->moveSlider(id, value); });
    connect(slider, &ContinuousGradeSlider::released, controller_, &ClipGradeInspectorController::releaseSlider);
    return row;
}

QWidget* ClipGradeInspectorSheet::buildFooter()
{
    auto* footer = new QWidget(this);
    footer->setObjectName(QStringLiteral("footer"));
    footer->setAttribute(Qt::WA_StyledBackground);
    auto* layout = new QHBoxLayout(footer);
    layout->setContentsMargins(20, 12, 20, 12);
    resetButton_ = new QPushButton(QStringLiteral("Reset"), footer);
    resetButton_->setObjectName(QStringLiteral("resetButton"));
    resetButton_->setAutoDefault(false);
    layout->addWidget(resetButton_);
    layout->addStretch(1);
    layout->addWidget(label(QStringLiteral("Adjustments preview live while paused \u00B7 Grade ON"), VelmoraStyleSheet::caption2,
                            footer, "muted"));
    connect(resetButton_, &QPushButton::clicked, controller_, &ClipGradeInspectorController::reset);
    return footer;
}

void ClipGradeInspectorSheet::showClipLut(const LutPickerValue& value, const ListedLutMarks& listed)
{
    shownLut_.emplace(controller_->editState().lutReference, value);
    lutPicker_->setSelectionAndItems(lutSelection(), lutItems(controller_->lutNames(), value, listed));
}

std::string ClipGradeInspectorSheet::lutSelection() const
{
    std::string reference = controller_->editState().lutReference;
    return shownLut_ && shownLut_->first == reference ? shownLut_->second.entry : reference;
}

void ClipGradeInspectorSheet::refresh()
{
    const ClipGradeEditState state = controller_->editState();
    lutPicker_->setSelection(lutSelection());
    moodPicker_->setSelection(state.moodKey);
    {
        const QSignalBlocker blocker(moodSwitch_);
        moodSwitch_->setChecked(state.moodEnabled);
    }
    for (auto& [id, row] : rows_) {
        const double value = row.value.get();
        row.slider->setBoundValue(value);
        row.readout->setText(qt(ClipGradeInspectorController::readout(row.definition, value)));
    }
}

ContinuousGradeSlider* ClipGradeInspectorSheet::slider(const std::string& sliderId) const
{
    const auto found = rows_.find(sliderId);
    return found == rows_.end() ? nullptr : found->second.slider;
}

QLabel* ClipGradeInspectorSheet::readout(const std::string& sliderId) const
{
    const auto found = rows_.find(sliderId);
    return found == rows_.end() ? nullptr : found->second.readout;
}

} // namespace velmora
