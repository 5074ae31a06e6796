#include "export_workspaces/ContentView.h"

#include <QCoreApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollArea>
#include <QShowEvent>
#include <QVBoxLayout>

#include "controls/ButtonTitle.h"
#include "controls/VelmoraPalette.h"
#include "export_workspaces/BusyIndicator.h"
#include "export_workspaces/ExportDropZone.h"
#include "export_workspaces/ExportPreviewPane.h"
#include "export_workspaces/ExportWorkspaceController.h"
#include "export_workspaces/GroupPanel.h"
#include "export_workspaces/OutputSettingsRows.h"
#include "export_workspaces/WorkspaceLabels.h"
#include "platform/foundation/FileError.h"

namespace velmora {

namespace {

using WorkspaceLabels::TextSize;

// The name of the chosen file or folder, or the placeholder when there is none.
QString fileNameOr(const std::optional<std::filesystem::path>& file, const char* placeholder)
{
    if (!file)
        return QString::fromUtf8(placeholder);
    return QString::fromStdString(FileError::shownName(*file));
}

// The one-line file name beside a choose button: dimmed, clipped rather than widening the column.
QLabel* fileNameLabel()
{
    QLabel* label = WorkspaceLabels::text({}, TextSize::body, true);
    label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    label->setMinimumWidth(0);
    return label;
}

// A choose button with its file name to the right.
QHBoxLayout* chooseRow(QVBoxLayout* content, const QString& title, const char* objectName, QLabel* fileName,
                       const std::function<void()>& action, QObject* context)
{
    auto* row = new QHBoxLayout;
    auto* button = new QPushButton(title);
    button->setObjectName(QString::fromLatin1(objectName));
    QObject::connect(button, &QPushButton::clicked, context, action);
    row->addWidget(button);
    row->addWidget(fileName, 1);
    content->addLayout(row);
    return row;
}

std::optional<std::string> textOrNothing(const QVariant& value)
{
    if (value.typeId() != QMetaType::QString || value.toString().isEmpty())
        return std::nullopt;
    return value.toString().toStdString();
}

} // namespace

ContentView::ContentView(VelmoraWorkflowState& workflow, QWidget* parent)
    : QWidget(parent)
    // The panels open over this workspace's window.
    , controller_(new ExportWorkspaceController(workflow, ExportWorkspaceServices::desktop(this), this))
{
    build();
}

ContentView::ContentView(VelmoraWorkflowState& workflow, ExportWorkspaceServices services, QWidget* parent)
    : QWidget(parent)
    , controller_(new ExportWorkspaceController(workflow, std::move(services), this))
{
    build();
}

void ContentView::build()
{
    setObjectName(QStringLiteral("ContentView"));
    buildLayout();

    using C = ExportWorkspaceController;
    for (auto changed :
         {&C::jobURLChanged, &C::lutOverrideURLChanged, &C::inputURLChanged, &C::mediaFolderURLChanged,
          &C::outputURLChanged, &C::outputContainerChanged, &C::bitrateMbpsChanged, &C::gammaModeChanged,
          &C::compContrastChanged, &C::compSaturationChanged, &C::compBrightnessChanged, &C::compTintChanged,
          &C::statusTextChanged, &C::isExportingChanged, &C::previewImageChanged, &C::isPreviewingChanged,
          &C::previewTimeSecondsChanged, &C::previewMinSecondsChanged, &C::previewMaxSecondsChanged,
          &C::previewLabelChanged, &C::errorTextChanged, &C::isDropTargetChanged, &C::isTimelineJobChanged}) {
        connect(controller_, changed, this, &ContentView::sync);
    }
    connect(controller_, &C::showErrorChanged, this, &ContentView::syncErrorAlert);
    connect(controller_, &C::quitQuestionChanged, this, &ContentView::syncQuitQuestion);
    connect(controller_, &C::replaceQuestionChanged, this, &ContentView::syncReplaceQuestion);
    sync();
}

ContentView::~ContentView() = default;

void ContentView::buildLayout()
{
    setPalette(VelmoraPalette::exportWorkspacePalette(palette()));
    setAutoFillBackground(true);
    QFont base = font();
    base.setPixelSize(13);
    setFont(base);
    setMinimumSize(1100, 720);

    auto* root = new QHBoxLayout(this);
    root->setContentsMargins(0, 0, 0, 0);
    root->setSpacing(18);

    // The settings scroll; the status line stays below them, whole at any height (at the
    // smallest window the settings of a timeline job are taller than the column).
    auto* left = new QWidget;
    left->setMinimumWidth(460);
    left->setMaximumWidth(560);
    left->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Expanding);
    auto* leftLayout = new QVBoxLayout(left);
    leftLayout->setContentsMargins(0, 0, 0, 0);
    leftLayout->setSpacing(0);
    auto* scroll = new QScrollArea;
    scroll->setObjectName(QStringLiteral("SettingsColumn"));
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setWidget(buildLeftColumn());
    leftLayout->addWidget(scroll, 1);
    status_ = WorkspaceLabels::text({}, TextSize::callout, true);
    status_->setObjectName(QStringLiteral("statusText"));
    status_->setWordWrap(true);
    status_->setTextFormat(Qt::PlainText);
    WorkspaceLabels::makeSelectable(status_);
    auto* statusRow = new QVBoxLayout;
    statusRow->setContentsMargins(18, 8, 18, 18);
    statusRow->addWidget(status_);
    leftLayout->addLayout(statusRow);
    // Both columns share the width, the settings column up to its widest, so that a wide window
    // gives the settings their full width before the preview grows on.
    root->addWidget(left, 1);

    preview_ = new ExportPreviewPane(*controller_);
    root->addWidget(preview_, 1);
}

QWidget* ContentView::buildLeftColumn()
{
    auto* column = new QWidget;
    auto* layout = new QVBoxLayout(column);
    layout->setContentsMargins(18, 18, 18, 18);
    layout->setSpacing(14);

    // Header.
    auto* header = new QVBoxLayout;
    header->setSpacing(2);
    header->addWidget(WorkspaceLabels::text(QStringLiteral("10-bit Export"), TextSize::title2, false));
    header->addWidget(WorkspaceLabels::text(
        QStringLiteral("Same JSON as browser / editor \u00B7 Media Folder required"), TextSize::caption, true));
    const QCoreApplication* application = QCoreApplication::instance();
    const std::string version = ExportWorkspaceTexts::versionLine(
        textOrNothing(QCoreApplication::applicationVersion()),
        application ? textOrNothing(application->property("buildVersion")) : std::nullopt);
    header->addWidget(WorkspaceLabels::text(QString::fromStdString(version), TextSize::caption, true));
    layout->addLayout(header);

    dropZone_ = new ExportDropZone(*controller_);
    layout->addWidget(dropZone_);

    ExportWorkspaceController* c = controller_;

    auto* jobGroup = new GroupPanel("doc.text", VelmoraPalette::blue(), QStringLiteral("1) Job"));
    jobKind_ = WorkspaceLabels::text({}, TextSize::caption, true);
    jobGroup->content()->addWidget(jobKind_);
    jobFile_ = fileNameLabel();
    chooseRow(jobGroup->content(), QStringLiteral("Choose Job JSON\u2026"), "chooseJob", jobFile_, [c] { c->pickJob(); },
              this);
    layout->addWidget(jobGroup);

    footageGroup_ = new GroupPanel("film.stack", VelmoraPalette::green(), QStringLiteral("2) Editor Footage"));
    footageGroup_->setObjectName(QStringLiteral("EditorFootageGroup"));
    mediaFolder_ = fileNameLabel();
    chooseRow(footageGroup_->content(), QStringLiteral("Choose Media Folder\u2026"), "chooseMediaFolder", mediaFolder_,
              [c] { c->pickMediaFolder(); }, this);
    auto* tip = new QHBoxLayout;
    QLabel* tipLabel = WorkspaceLabels::text(QStringLiteral("Tip:"), TextSize::body, true);
    tipLabel->setFixedWidth(40);
    QLabel* tipText = WorkspaceLabels::text(
        QStringLiteral("Pick the top folder that contains your clip files (subfolders supported)."), TextSize::body, true);
    tipText->setWordWrap(true);
    tip->addWidget(tipLabel, 0, Qt::AlignTop);
    tip->addWidget(tipText, 1);
    footageGroup_->content()->addLayout(tip);
    layout->addWidget(footageGroup_);

    inputGroup_ =
        new GroupPanel("wand.and.stars", VelmoraPalette::orange(), QStringLiteral("2) Match Grade Input"));
    inputGroup_->setObjectName(QStringLiteral("MatchGradeInputGroup"));
    inputFile_ = fileNameLabel();
    chooseRow(inputGroup_->content(), QStringLiteral("Choose Input Video\u2026"), "chooseInput", inputFile_,
              [c] { c->pickInput(); }, this);
    lutFile_ = fileNameLabel();
    chooseRow(inputGroup_->content(), QStringLiteral("Choose LUT Override\u2026"), "chooseLutOverride", lutFile_,
              [c] { c->pickLutOverride(); }, this);
    layout->addWidget(inputGroup_);

    auto* outputGroup =
        new GroupPanel("square.and.arrow.down", VelmoraPalette::purple(), QStringLiteral("3) Output"));
    outputFile_ = fileNameLabel();
    chooseRow(outputGroup->content(), QStringLiteral("Choose Output\u2026"), "chooseOutput", outputFile_,
              [c] { c->pickOutput(); }, this);
    settings_ = new OutputSettingsRows(*controller_);
    outputGroup->content()->addWidget(settings_);
    layout->addWidget(outputGroup);

    // The export row: only the Export button is disabled while an export runs.
    auto* exportRow = new QHBoxLayout;
    exportRow->setSpacing(10);
    export_ = new QPushButton;
    export_->setObjectName(QStringLiteral("export"));
    connect(export_, &QPushButton::clicked, this, [c] { c->startExport(); });
    exportBusy_ = new BusyIndicator;
    reveal_ = new QPushButton(QStringLiteral("Show in Folder"));
    reveal_->setObjectName(QStringLiteral("showInFolder"));
    connect(reveal_, &QPushButton::clicked, this, [c] { c->revealOutput(); });
    exportRow->addWidget(export_);
    exportRow->addWidget(exportBusy_);
    exportRow->addWidget(reveal_);
    exportRow->addStretch(1);
    layout->addLayout(exportRow);
    layout->addStretch(1);
    return column;
}

void ContentView::sync()
{
    const ExportWorkspaceController& c = *controller_;
    dropZone_->sync();
    jobKind_->setText(QString::fromStdString(c.jobKindLabel()));
    jobFile_->setText(fileNameOr(c.jobURL(), "No job selected"));

    footageGroup_->setVisible(c.jobKind() == ExportWorkspaceController::JobKind::timeline);
    mediaFolder_->setText(fileNameOr(c.mediaFolderURL(), "Required (folder containing your footage)"));
    inputGroup_->setVisible(c.jobKind() == ExportWorkspaceController::JobKind::singleVideo);
    inputFile_->setText(fileNameOr(c.inputURL(), "Required (source video)"));
    lutFile_->setText(fileNameOr(c.lutOverrideURL(), "Optional (overrides LUT from job)"));
    outputFile_->setText(fileNameOr(c.outputURL(), "Default next to input"));
    settings_->sync();

    export_->setText(ButtonTitle::literal(QString::fromStdString(c.exportButtonTitle())));
    export_->setEnabled(c.canExport());
    exportBusy_->setVisible(c.isExporting());
    exportBusy_->setRunning(c.isExporting());
    reveal_->setVisible(c.canRevealOutput());
    status_->setText(QString::fromStdString(c.statusText()));

    preview_->sync();
}

void ContentView::syncErrorAlert()
{
    if (!controller_->showError()) {
        if (errorAlert_)
            errorAlert_->close();
        return;
    }
    if (errorAlert_)
        return;
    auto* box = new QMessageBox(QMessageBox::Warning, QString::fromStdString(controller_->errorTitle()),
                                QString::fromStdString(controller_->errorText()), QMessageBox::Ok, this);
    box->setObjectName(QStringLiteral("ExportFailedAlert"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    ExportWorkspaceController* c = controller_;
    connect(box, &QMessageBox::finished, c, [c] {
        if (c->showError())
            c->dismissError();
    });
    errorAlert_ = box;
    box->open();
}

void ContentView::syncQuitQuestion()
{
    const std::optional<ExportWorkspaceController::QuitQuestion>& question = controller_->quitQuestion();
    ExportWorkspaceController* c = controller_;
    syncQuestion(quitQuestionBox_, question.has_value(), QStringLiteral("quitQuestion"),
                 question ? QString::fromStdString(question->title) : QString(),
                 question ? QString::fromStdString(question->stopButton) : QString(),
                 question ? QString::fromStdString(question->cancelButton) : QString(),
                 [c](bool stop) { c->answerQuitQuestion(stop); });
}

void ContentView::syncReplaceQuestion()
{
    const std::optional<ExportWorkspaceController::ReplaceQuestion>& question = controller_->replaceQuestion();
    ExportWorkspaceController* c = controller_;
    syncQuestion(replaceQuestionBox_, question.has_value(), QStringLiteral("replaceQuestion"),
                 question ? QString::fromStdString(question->title) : QString(),
                 question ? QString::fromStdString(question->replaceButton) : QString(),
                 question ? QString::fromStdString(question->cancelButton) : QString(),
                 [c](bool replace) { c->answerReplaceQuestion(replace); });
}

void ContentView::syncQuestion(QPointer<QMessageBox>& slot, bool asked, const QString& objectName,
                               const QString& title, const QString& acceptButton, const QString& cancelButton,
                               const std::function<void(bool)>& answer)
{
    if (!asked) {
        // Emptied first: the box's own end then sees it is no longer the one asking.
        if (QMessageBox* box = slot) {
            slot = nullptr;
            box->close();
        }
        return;
    }
    if (slot)
        return;
    auto* box = new QMessageBox(QMessageBox::Warning, title, title, QMessageBox::NoButton, this);
    box->setObjectName(objectName);
    box->setAttribute(Qt::WA_DeleteOnClose);
    QAbstractButton* accept = box->addButton(ButtonTitle::literal(acceptButton), QMessageBox::DestructiveRole);
    box->setDefaultButton(box->addButton(cancelButton, QMessageBox::RejectRole));
    // Closed without a button (Escape, the title bar) counts as "Cancel".
    connect(box, &QMessageBox::finished, this, [&slot, box, accept, answer] {
        if (slot != box)
            return;
        slot = nullptr;
        answer(box->clickedButton() == accept);
    });
    slot = box;
    box->open();
}

void ContentView::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    // A window coming back from the task bar is no new appearance.
    if (!event->spontaneous())
        controller_->applyWorkflowHandoff();
}

} // namespace velmora
