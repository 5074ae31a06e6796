#include "workspace/bars/EditorTopBar.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include "controls/ElidedLabel.h"
#include "controls/ToolbarEdgeScrollView.h"
#include "controls/VelmoraDarkPopUpPicker.h"
#include "workspace/EditorWorkspaceController.h"
#include "workspace/EditorWorkspaceStyle.h"

namespace velmora {

namespace {

// The shortest project name the title row keeps before eliding it in the middle.
constexpr int projectNameMinimumWidth = 80;
// The bar's padding left and right of its rows.
constexpr int horizontalPadding = 14;
// Between command buttons.
constexpr int commandSpacing = 10;
// Above the command buttons (the gap to the title row) and below them (the bar's bottom padding).
// With buttons at least 20 high a command group is at least as high as the edge-scrolling strip's
// least height (36), so both groups lay their buttons out on the same line.
constexpr int commandsTop = 6;
constexpr int commandsBottom = 10;

} // namespace

EditorTopBar::EditorTopBar(EditorWorkspaceController& workspace, QWidget* parent)
    : QWidget(parent), workspace_(workspace), commandRow_(new QWidget(this)), versionBadge_(new QLabel(this)),
      projectName_(new ElidedLabel(Qt::ElideMiddle, {}, this)), lutPicker_(new VelmoraDarkPopUpPicker(this)),
      gradeToggle_(new QCheckBox(QStringLiteral("Grade"), this)), commandStrip_(new ToolbarEdgeScrollView(commandRow_))
{
    setObjectName(QStringLiteral("topBar"));
    setAttribute(Qt::WA_StyledBackground);
    commandRow_->setObjectName(QStringLiteral("topBarCommands"));
    // The command strip reaches the bar's left edge, so its arrows sit at the edge as the tools
    // bar's do; the rows carry the bar's horizontal padding themselves.
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 10, 0, 0);
    column->setSpacing(0);

    // Title row.
    auto* titleRow = new QHBoxLayout;
    titleRow->setContentsMargins(horizontalPadding, 0, horizontalPadding, 0);
    titleRow->setSpacing(12);
    auto* title = new QLabel(QStringLiteral("Velmora Desktop"), this);
    title->setObjectName(QStringLiteral("titleLabel"));
    titleRow->addWidget(title);
    versionBadge_->setObjectName(QStringLiteral("versionBadge"));
    versionBadge_->setText(QString::fromStdString(workspace_.versionBadgeText()));
    versionBadge_->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    titleRow->addWidget(versionBadge_);
    projectName_->setObjectName(QStringLiteral("projectNameLabel"));
    projectName_->setMinimumWidth(projectNameMinimumWidth);
    projectName_->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    titleRow->addWidget(projectName_);
    titleRow->addStretch(1);
    titleRow->addWidget(EditorWorkspaceStyle::mutedCaption(QStringLiteral("Clip LUT"), this));
    lutPicker_->setObjectName(QStringLiteral("clipLutPicker"));
    lutPicker_->setMinimumWidth(160);
    lutPicker_->setMaximumWidth(220);
    lutPicker_->setToolTip(QStringLiteral("Per-clip conversion LUT (web parity) — select a timeline clip first"));
    titleRow->addWidget(lutPicker_);
    gradeToggle_->setObjectName(QStringLiteral("gradeToggle"));
    gradeToggle_->setToolTip(QStringLiteral("LUT always on when paused · toggle adds mood/basic grade on top"));
    titleRow->addWidget(gradeToggle_);
    column->addLayout(titleRow);

    // Command row: the file and project commands scroll sideways in an edge-scrolling strip when
    // the bar is too narrow for them, so every label stays whole; the flexible space closes the
    // strip's row, and the export commands keep their natural width at the right end, always in
    // view. Both groups are padded alike so their buttons line up.
    auto* commands = new QHBoxLayout(commandRow_);
    commands->setContentsMargins(0, 0, 0, 0);
    commands->setSpacing(commandSpacing);
    commandStrip_->setObjectName(QStringLiteral("topBarCommandStrip"));
    commands->addWidget(commandStrip_, 1);
    auto* scrolling = new QWidget;
    scrolling->setObjectName(QStringLiteral("topBarScrollingCommands"));
    auto* scrollingRow = new QHBoxLayout(scrolling);
    scrollingRow->setContentsMargins(horizontalPadding, commandsTop, 0, commandsBottom);
    scrollingRow->setSpacing(commandSpacing);
    auto* exports = new QWidget(commandRow_);
    exports->setObjectName(QStringLiteral("topBarExportCommands"));
    exports->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    auto* exportsRow = new QHBoxLayout(exports);
    exportsRow->setContentsMargins(0, commandsTop, horizontalPadding, commandsBottom);
    exportsRow->setSpacing(commandSpacing);
    commands->addWidget(exports);
    column->addWidget(commandRow_);

    EditorWorkspaceController& w = workspace_;
    addCommand(*scrolling, QStringLiteral("New"), {}, [&w] { w.newProject(); });
    addCommand(*scrolling, QStringLiteral("Open…"), QStringLiteral("Open a saved .tavlek desktop project"),
               [&w] { w.pickSession(); });
    addCommand(*scrolling, QStringLiteral("Import Web Job JSON…"),
               QStringLiteral("Import *_desktop_v2_job.json or *_edit_return.json from the browser editor"),
               [&w] { w.pickWebJobJSON(); });
    saveButton_ = addCommand(*scrolling, QStringLiteral("Save"), {}, [&w] { w.saveProject(); });
    saveAsButton_ = addCommand(*scrolling, QStringLiteral("Save As…"), {}, [&w] { w.saveProjectAs(); });
    projectButton_ =
        addCommand(*scrolling, QStringLiteral("Project…"), {}, [&w] { w.setShowProjectSettings(true); });
    addCommand(*scrolling, QStringLiteral("Media Folder…"),
               QStringLiteral("Optional: link an existing folder of clips instead of importing copies"),
               [&w] { w.pickMediaFolderForRelink(); });
    addCommand(*scrolling, QStringLiteral("Clean Feed F"),
               QStringLiteral("Pop-out program monitor (2nd display / fullscreen)"),
               [&w] { w.engine().openCleanFeedWindow(); });
    scrollingRow->addStretch(1);
    commandStrip_->setHostedContent(scrolling);
    exportReturnButton_ = addCommand(*exports, QStringLiteral("Export Return…"), {}, [&w] { w.exportReturn(); });
    handoffButton_ = addCommand(*exports, QStringLiteral("10-bit Export Tab →"),
                                QStringLiteral("Open the full 10-bit Export tab (advanced compensation controls)"),
                                [&w] { w.handoffToExportTab(); });
    exportVideoButton_ = addCommand(*exports, QStringLiteral("Export Video…"),
                                    QStringLiteral("Export timeline: 10-bit HEVC master, H.264, or ProRes 422"),
                                    [&w] { w.setShowExportSheet(true); });
    exportVideoButton_->setObjectName(QStringLiteral("exportVideoButton"));
    EditorWorkspaceStyle::setStyleFlag(*exportVideoButton_, "prominent", true);

    connect(lutPicker_, &VelmoraDarkPopUpPicker::selectionWritten, this,
            [this](const QString& id) { workspace_.chooseClipLut(id.toStdString()); });
    // The LUT files on offer are listed again, on the engine's worker, each time the list opens:
    // a .cube copied into the media folder appears without another clip being selected first.
    connect(lutPicker_, &VelmoraDarkPopUpPicker::popUpAboutToShow, &workspace_.engine(),
            &TimelinePreviewEngine::refreshLutNames);
    connect(&workspace_.engine(), &TimelinePreviewEngine::lutNamesChanged, this, &EditorTopBar::refreshLutPicker);
    connect(&workspace_.engine(), &TimelinePreviewEngine::missingLutsChanged, this, &EditorTopBar::refreshLutPicker);
    connect(gradeToggle_, &QCheckBox::toggled, &workspace_.engine(), &TimelinePreviewEngine::setGradePreviewEnabled);

    TimelinePreviewEngine& engine = workspace_.engine();
    for (auto signal : {&TimelinePreviewEngine::sessionChanged, &TimelinePreviewEngine::gradePreviewEnabledChanged,
                        &TimelinePreviewEngine::selectedClipIdChanged})
        connect(&engine, signal, this, &EditorTopBar::refresh);
    for (auto signal : {&EditorWorkspaceController::projectDirtyChanged, &EditorWorkspaceController::mediaFolderURLChanged,
                        &EditorWorkspaceController::sessionURLChanged,
                        &EditorWorkspaceController::lutPickerSelectionChanged})
        connect(&workspace_, signal, this, &EditorTopBar::refresh);
    refresh();
}

QPushButton* EditorTopBar::addCommand(QWidget& group, const QString& title, const QString& help,
                                      std::function<void()> action)
{
    auto* button = new QPushButton(title, &group);
    if (!help.isEmpty())
        button->setToolTip(help);
    button->setFocusPolicy(Qt::NoFocus);
    connect(button, &QPushButton::clicked, this, [action = std::move(action)] { action(); });
    group.layout()->addWidget(button);
    commandButtons_.push_back(button);
    return button;
}

QPushButton* EditorTopBar::commandButton(const QString& title) const
{
    for (QPushButton* button : commandButtons_) {
        if (button->text() == title)
            return button;
    }
    return nullptr;
}

void EditorTopBar::refresh()
{
    const bool open = workspace_.hasProject();
    projectName_->setVisible(open);
    if (open) {
        const bool dirty = workspace_.projectDirty();
        const QString name =
            QString::fromStdString(workspace_.resolvedProjectDisplayName()) + (dirty ? QStringLiteral(" •") : QString());
        projectName_->setToolTip(name);
        projectName_->setText(name);
        EditorWorkspaceStyle::setStyleFlag(*projectName_, "dirty", dirty);
    }
    for (QPushButton* button : {saveButton_, saveAsButton_, projectButton_, exportReturnButton_})
        button->setEnabled(open);
    handoffButton_->setEnabled(workspace_.canExport());
    exportVideoButton_->setEnabled(workspace_.canExport());
    {
        const QSignalBlocker blocker(gradeToggle_);
        gradeToggle_->setChecked(workspace_.engine().gradePreviewEnabled());
    }
    refreshLutPicker();
}

void EditorTopBar::refreshLutPicker()
{
    std::vector<std::string> options = workspace_.lutPickerOptions();
    std::vector<std::string> titles = workspace_.lutPickerTitles(options);
    std::string shown = workspace_.lutPickerShownValue(options);
    std::vector<VelmoraDarkPopUpPicker::PopUpItem> items;
    items.reserve(options.size());
    for (std::size_t i = 0; i < options.size(); ++i)
        items.push_back({std::move(options[i]), std::move(titles[i]), false});
    // Rows rebuilt while the list is open would move under the pointer: only a change rebuilds
    // (the picker keeps its rows when only the selection changes).
    if (items != lutPicker_->items() || shown != lutPicker_->selection()) {
        lutPicker_->setSelectionAndItems(std::move(shown), std::move(items));
    } else if (const int row = VelmoraDarkPopUpPicker::rowForSelection(lutPicker_->selectableTags(), shown);
               row != lutPicker_->currentIndex()) {
        const QSignalBlocker blocker(lutPicker_);
        lutPicker_->setCurrentIndex(row);
    }
    lutPicker_->setEnabled(workspace_.lutPickerEnabled());
}

} // namespace velmora
