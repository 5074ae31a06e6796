#include "export_workspaces/EditorExportSheet.h"

#include <QButtonGroup>
#include <QCloseEvent>
#include <QFontDatabase>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScopedValueRollback>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

#include "controls/ButtonTitle.h"
#include "controls/VelmoraToolbarSlider.h"
#include "platform/ui/QtFilePanels.h"

namespace velmora {
namespace {

constexpr int sheetWidth = 480;
// Positions of the progress bar over 0 … 1.
constexpr int progressResolution = 1000;

QString qText(const std::string& text)
{
    return QString::fromStdString(text);
}

// `font` at `factor` times the size of `base` (which a style sheet may give in pixels).
QFont scaledFont(QFont font, const QFont& base, double factor, bool bold = false)
{
    if (base.pointSizeF() > 0) {
        font.setPointSizeF(base.pointSizeF() * factor);
    } else {
        font.setPixelSize(std::max(1, static_cast<int>(std::lround(base.pixelSize() * factor))));
    }
    font.setBold(bold);
    return font;
}

QFont captionFont(const QFont& base)
{
    return scaledFont(base, base, 0.85);
}

QFont monospacedCaptionFont(const QFont& base, bool bold = false)
{
    return scaledFont(QFontDatabase::systemFont(QFontDatabase::FixedFont), base, 0.85, bold);
}

QLabel* mutedLabel(const QString& text, const QFont& font, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setFont(font);
    label->setProperty("velmoraRole", "muted");
    return label;
}

ExportSheetServices withPanelsOver(ExportSheetServices services, QWidget* sheet)
{
    if (!services.filePanels) {
        services.filePanels = std::make_shared<QtFilePanels>(sheet);
    }
    return services;
}

} // namespace

EditorExportSheet::EditorExportSheet(TimelinePreviewEngine& engine, std::optional<std::filesystem::path> mediaFolderURL,
                                     std::optional<std::filesystem::path> sessionFileURL,
                                     std::function<void()> onDismiss, ExportSheetServices services, QWidget* parent)
    : QDialog(parent)
    , controller_(new ExportSheetController(engine, std::move(mediaFolderURL), std::move(sessionFileURL),
                                            std::move(onDismiss), withPanelsOver(std::move(services), this), this))
{
    setObjectName(QStringLiteral("EditorExportSheet"));
    setWindowTitle(QStringLiteral("Export Timeline"));
    setWindowModality(Qt::WindowModal);
    setFixedWidth(sheetWidth);
    buildLayout();

    for (auto changed : {&ExportSheetController::formatChanged, &ExportSheetController::bitrateMbpsChanged,
                         &ExportSheetController::isExportingChanged, &ExportSheetController::statusChanged,
                         &ExportSheetController::progressChanged, &ExportSheetController::canExportChanged}) {
        connect(controller_, changed, this, &EditorExportSheet::refresh);
    }
    connect(controller_, &ExportSheetController::showErrorChanged, this, &EditorExportSheet::syncErrorAlert);
    refresh();
}

EditorExportSheet::~EditorExportSheet() = default;

void EditorExportSheet::buildLayout()
{
    const QFont base = font();
    auto* stack = new QVBoxLayout(this);
    stack->setSpacing(16);
    stack->setContentsMargins(24, 24, 24, 24);

    auto* title = new QLabel(QStringLiteral("Export Timeline"), this);
    title->setFont(scaledFont(base, base, 1.45, true));
    stack->addWidget(title);

    auto* note = mutedLabel(QStringLiteral("Uses the same per-clip stream decode as the 10-bit Export tab. "
                                           "Back-to-back clips from the same file continue in source time "
                                           "automatically."),
                            captionFont(base), this);
    note->setWordWrap(true);
    stack->addWidget(note);

    // Format: one radio button per format, in the formats' order, the label beside the first.
    auto* formatGrid = new QGridLayout();
    formatGrid->setHorizontalSpacing(12);
    formatGrid->setVerticalSpacing(4);
    formatGrid->addWidget(new QLabel(QStringLiteral("Format"), this), 0, 0);
    formatGroup_ = new QButtonGroup(this);
    int row = 0;
    for (EditorExportFormat format : EditorExportFormats::allCases) {
        auto* radio = new QRadioButton(qText(std::string(EditorExportFormats::rawValue(format))), this);
        formatGroup_->addButton(radio, static_cast<int>(format));
        formatGrid->addWidget(radio, row++, 1);
    }
    formatGrid->setColumnStretch(2, 1);
    stack->addLayout(formatGrid);
    connect(formatGroup_, &QButtonGroup::idClicked, this,
            [this](int id) { controller_->setFormat(static_cast<EditorExportFormat>(id)); });

    // Bitrate, for HEVC and H.264.
    bitrateRow_ = new QWidget(this);
    bitrateRow_->setObjectName(QStringLiteral("bitrateRow"));
    auto* bitrateLayout = new QHBoxLayout(bitrateRow_);
    bitrateLayout->setContentsMargins(0, 0, 0, 0);
    bitrateLayout->addWidget(new QLabel(QStringLiteral("Bitrate"), bitrateRow_));
    bitrateSlider_ = new VelmoraToolbarSlider(ExportSheetController::minimumBitrateMbps,
                                              ExportSheetController::maximumBitrateMbps,
                                              ExportSheetController::bitrateStepMbps, bitrateRow_);
    bitrateSlider_->setObjectName(QStringLiteral("bitrateSlider"));
    bitrateLayout->addWidget(bitrateSlider_, 1);
    bitrateValue_ = new QLabel(bitrateRow_);
    bitrateValue_->setObjectName(QStringLiteral("bitrateValue"));
    bitrateValue_->setFont(monospacedCaptionFont(base));
    bitrateValue_->setFixedWidth(72);
    bitrateValue_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    bitrateLayout->addWidget(bitrateValue_);
    stack->addWidget(bitrateRow_);
    connect(bitrateSlider_, &VelmoraToolbarSlider::valueEdited, this,
            [this](double mbps) { controller_->setBitrateMbps(mbps); });

    // Progress, while exporting.
    progressSection_ = new QWidget(this);
    progressSection_->setObjectName(QStringLiteral("progressSection"));
    auto* progressLayout = new QVBoxLayout(progressSection_);
    progressLayout->setContentsMargins(0, 0, 0, 0);
    progressLayout->setSpacing(8);
    progressBar_ = new QProgressBar(progressSection_);
    progressBar_->setRange(0, progressResolution);
    progressBar_->setTextVisible(false);
    progressBar_->setFixedHeight(6);
    progressLayout->addWidget(progressBar_);
    auto* percentRow = new QHBoxLayout();
    percentLabel_ = new QLabel(progressSection_);
    percentLabel_->setObjectName(QStringLiteral("percentLabel"));
    percentLabel_->setFont(monospacedCaptionFont(base, true));
    percentRow->addWidget(percentLabel_);
    percentRow->addStretch();
    etaLabel_ = mutedLabel(QString(), monospacedCaptionFont(base), progressSection_);
    etaLabel_->setObjectName(QStringLiteral("etaLabel"));
    percentRow->addWidget(etaLabel_);
    progressLayout->addLayout(percentRow);
    detailLabel_ = mutedLabel(QString(), captionFont(base), progressSection_);
    detailLabel_->setObjectName(QStringLiteral("progressDetailLabel"));
    detailLabel_->setWordWrap(true);
    detailLabel_->setMaximumHeight(QFontMetrics(detailLabel_->font()).lineSpacing() * 2 + 2);
    progressLayout->addWidget(detailLabel_);
    stack->addWidget(progressSection_);

    // Buttons. None is a default button: Return must not start, and above all not cancel, an
    // export; Escape reaches "Close" through reject() only while no export runs.
    auto* buttons = new QHBoxLayout();
    buttons->setSpacing(10);
    exportButton_ = new QPushButton(this);
    exportButton_->setObjectName(QStringLiteral("exportButton"));
    cancelButton_ = new QPushButton(QStringLiteral("Cancel Export"), this);
    cancelButton_->setObjectName(QStringLiteral("cancelExportButton"));
    closeButton_ = new QPushButton(QStringLiteral("Close"), this);
    closeButton_->setObjectName(QStringLiteral("closeButton"));
    for (QPushButton* button : {exportButton_, cancelButton_, closeButton_}) {
        button->setAutoDefault(false);
        buttons->addWidget(button);
    }
    buttons->addStretch();
    stack->addLayout(buttons);
    connect(exportButton_, &QPushButton::clicked, controller_, &ExportSheetController::pickOutputAndExport);
    connect(cancelButton_, &QPushButton::clicked, controller_, &ExportSheetController::requestCancel);
    connect(closeButton_, &QPushButton::clicked, controller_, &ExportSheetController::requestDismiss);

    statusLabel_ = mutedLabel(QString(), captionFont(base), this);
    statusLabel_->setObjectName(QStringLiteral("statusLabel"));
    statusLabel_->setWordWrap(true);
    statusLabel_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    stack->addWidget(statusLabel_);
}

void EditorExportSheet::refresh()
{
    const ExportSheetController& c = *controller_;
    const bool exporting = c.isExporting();

    if (QAbstractButton* chosen = formatGroup_->button(static_cast<int>(c.format()))) {
        const QSignalBlocker blocker(formatGroup_);
        chosen->setChecked(true);
    }
    for (QAbstractButton* radio : formatGroup_->buttons()) {
        radio->setEnabled(!exporting);
    }

    const bool layoutChanges =
        bitrateRow_->isHidden() == c.showsBitrateRow() || progressSection_->isHidden() == exporting;
    bitrateRow_->setVisible(c.showsBitrateRow());
    bitrateSlider_->setBoundValue(c.bitrateMbps());
    bitrateSlider_->setEnabled(!exporting);
    bitrateValue_->setText(qText(c.bitrateText()));

    progressSection_->setVisible(exporting);
    progressBar_->setValue(static_cast<int>(std::lround(c.progressFraction() * progressResolution)));
    percentLabel_->setText(qText(c.percentText()));
    const std::optional<std::string> eta = c.estimatedTimeRemaining();
    etaLabel_->setText(eta ? QStringLiteral("ETA ") + qText(*eta) : QString());
    etaLabel_->setVisible(eta.has_value());
    detailLabel_->setText(qText(c.progressDetail()));

    exportButton_->setText(ButtonTitle::literal(qText(c.exportButtonTitle())));
    exportButton_->setEnabled(c.canExport());
    cancelButton_->setVisible(exporting);
    closeButton_->setVisible(!exporting);
    statusLabel_->setText(qText(c.status()));

    // The sheet's height follows its rows.
    if (layoutChanges) {
        adjustSize();
    }
}

void EditorExportSheet::syncErrorAlert()
{
    if (!controller_->showError()) {
        if (errorAlert_) {
            errorAlert_->close();
        }
        return;
    }
    if (!errorAlert_) {
        errorAlert_ = new QMessageBox(QMessageBox::Warning, QStringLiteral("Export Error"), QString(),
                                      QMessageBox::Ok, this);
        errorAlert_->setObjectName(QStringLiteral("exportErrorAlert"));
        errorAlert_->setTextFormat(Qt::PlainText);
        errorAlert_->setAttribute(Qt::WA_DeleteOnClose);
        errorAlert_->setWindowModality(Qt::WindowModal);
        connect(errorAlert_, &QMessageBox::finished, this, [this] {
            errorAlert_ = nullptr;
            if (controller_->showError()) {
                controller_->setShowError(false);
            }
        });
        errorAlert_->open();
    }
    // The message as the run reported it, verbatim.
    errorAlert_->setText(qText(controller_->errorText()));
}

void EditorExportSheet::reject()
{
    controller_->requestDismiss();
}

void EditorExportSheet::closeEvent(QCloseEvent* event)
{
    if (controller_->isExporting()) {
        event->ignore();
        return;
    }
    event->accept();
    // The owner may close the sheet from onDismiss; that close must not ask again.
    if (!dismissing_) {
        const QScopedValueRollback guard(dismissing_, true);
        controller_->requestDismiss();
    }
}

} // namespace velmora
