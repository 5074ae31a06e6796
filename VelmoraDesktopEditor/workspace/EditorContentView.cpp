#include "workspace/EditorContentView.h"

#include <cmath>
#include <functional>

#include <QDialog>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QSplitter>
#include <QVBoxLayout>

#include "controls/ButtonTitle.h"
#include "controls/VelmoraSymbols.h"
#include "platform/ui/DesktopFileRevealer.h"
#include "platform/ui/QtFilePanels.h"
#include "workspace/bars/ClipPickerBar.h"
#include "workspace/bars/EditToolsBar.h"
#include "workspace/keys/EditorKeyboardMonitorView.h"
#include "workspace/bars/EditorTopBar.h"
#include "workspace/EditorWorkspaceStyle.h"
#include "workspace/bars/PlaybackBar.h"
#include "workspace/program/PreviewArea.h"

namespace velmora {

namespace {

constexpr QSize minimumWorkspaceSize{1120, 520};
constexpr int mediaPoolMinimumWidth = 220;
constexpr int mediaPoolIdealWidth = 250;
constexpr int mediaPoolMaximumWidth = 400;
// Where the grade inspector opens: this far right of the main window's left edge and below its
// top edge.
constexpr QPoint gradeInspectorOffset{48, 40};

// A tool window whose one child is the content its factory makes.
QWidget* toolWindow(const char* name, const QString& title, Qt::WindowFlags flags, QWidget* parent)
{
    auto* window = new QWidget(parent, flags);
    window->setObjectName(QString::fromLatin1(name));
    window->setAttribute(Qt::WA_StyledBackground);
    window->setWindowTitle(title);
    auto* layout = new QVBoxLayout(window);
    layout->setContentsMargins(0, 0, 0, 0);
    return window;
}

// Reports a window the user closed (its title-bar button, Escape in a dialog) once the close
// went through. The window has the last word on its close event, after this filter has seen it:
// a close it refuses (the export sheet while an export runs) leaves it presented, so the answer
// is read once the event has been handled, from whether the window is still shown. Nothing is
// reported once the window is gone.
class CloseWatcher final : public QObject {
public:
    CloseWatcher(QWidget& window, std::function<void()> onClose)
        : QObject(&window), window_(&window), onClose_(std::move(onClose))
    {
        window.installEventFilter(this);
    }

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Close) {
            QMetaObject::invokeMethod(this, [this] {
                if (!window_->isVisible())
                    onClose_();
            }, Qt::QueuedConnection);
        }
        return false;
    }

private:
    QWidget* window_; // the parent: outlives this watcher
    std::function<void()> onClose_;
};

QWidget* rowAround(QWidget* content, const char* name, QMargins margins, int spacing, QWidget* parent)
{
    auto* row = new QWidget(parent);
    row->setObjectName(QString::fromLatin1(name));
    row->setAttribute(Qt::WA_StyledBackground);
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(margins);
    layout->setSpacing(spacing);
    if (content)
        layout->addWidget(content, 1);
    return row;
}

template <typename Window>
void closeAndForget(QPointer<Window>& slot)
{
    // The slot is emptied first: the window's own close handling then sees it is not the
    // presented one any more and leaves the flags alone.
    Window* window = slot;
    slot = nullptr;
    if (!window)
        return;
    window->close();
    window->deleteLater();
}

QMessageBox* makeBox(const QString& title, const char* name, QWidget* parent)
{
    auto* box = new QMessageBox(parent);
    box->setObjectName(QString::fromLatin1(name));
    box->setWindowTitle(title);
    box->setText(title);
    box->setAttribute(Qt::WA_DeleteOnClose);
    return box;
}

} // namespace

EditorContentView::EditorContentView(VelmoraWorkflowState& workflow, EditorWorkspaceController::Services services,
                                     const EditorWorkspacePieces& pieces, QWidget* parent)
    : QWidget(parent), pieces_(pieces.withStandIns())
{
    setObjectName(QStringLiteral("EditorContentView"));
    setAttribute(Qt::WA_StyledBackground);
    setMinimumSize(minimumWorkspaceSize);
    setStyleSheet(EditorWorkspaceStyle::styleSheet());
    if (!services.filePanels)
        services.filePanels = std::make_shared<QtFilePanels>(this);
    if (!services.fileRevealer)
        services.fileRevealer = std::make_shared<DesktopFileRevealer>();
    controller_ = new EditorWorkspaceController(workflow, std::move(services), this);
    if (pieces_.cleanFeedWindow)
        controller_->engine().setCleanFeedWindowOpener(pieces_.cleanFeedWindow);

    // The key monitor sits behind everything and watches the whole application's keys.
    keyboardMonitor_ = new EditorKeyboardMonitorView(this);
    keyboardMonitor_->setHandler(controller_->keyboardHandler());
    controller_->setSourceViewerActiveQuery(
        [this] { return sourceViewerWindow_ && sourceViewerWindow_->isActiveWindow(); });

    auto* root = new QHBoxLayout(this);
    root->setContentsMargins(0, 0, 0, 0);
    split_ = new QSplitter(Qt::Horizontal, this);
    split_->setObjectName(QStringLiteral("editorSplitLayout"));
    split_->setChildrenCollapsible(false);
    split_->setHandleWidth(1);
    root->addWidget(split_);

    mediaPoolColumn_ = new QWidget(split_);
    mediaPoolColumn_->setObjectName(QStringLiteral("mediaPoolColumn"));
    mediaPoolColumn_->setAttribute(Qt::WA_StyledBackground);
    mediaPoolColumn_->setMinimumWidth(mediaPoolMinimumWidth);
    mediaPoolColumn_->setMaximumWidth(mediaPoolMaximumWidth);
    auto* poolLayout = new QVBoxLayout(mediaPoolColumn_);
    poolLayout->setContentsMargins(0, 0, 0, 0);
    poolLayout->addWidget(pieces_.mediaPool(*controller_, mediaPoolColumn_));
    split_->addWidget(mediaPoolColumn_);
    split_->addWidget(buildMainColumn(pieces_));
    split_->setStretchFactor(0, 0);
    split_->setStretchFactor(1, 1);
    split_->setSizes({mediaPoolIdealWidth, 10000});

    auto* save = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_S), this);
    save->setContext(Qt::WindowShortcut);
    connect(save, &QShortcut::activated, controller_, &EditorWorkspaceController::saveProject);

    using C = EditorWorkspaceController;
    for (auto signal : {&C::showMediaPoolChanged, &C::importHintDismissedChanged, &C::laneRowHeightChanged,
                        &C::layoutVideoTracksChanged, &C::layoutAudioTracksChanged})
        connect(controller_, signal, this, &EditorContentView::refreshRows);
    TimelinePreviewEngine& engine = controller_->engine();
    for (auto signal : {&TimelinePreviewEngine::sessionChanged, &TimelinePreviewEngine::timelineRevisionChanged,
                        &TimelinePreviewEngine::gradePreviewEnabledChanged})
        connect(&engine, signal, this, &EditorContentView::refreshRows);

    connect(controller_, &C::showErrorChanged, this, &EditorContentView::syncErrorAlert);
    connect(controller_, &C::errorTextChanged, this, &EditorContentView::syncErrorAlert);
    for (auto signal : {&C::showRelinkMediaChanged, &C::relinkMissingNamesChanged, &C::openedWebTavlekChanged})
        connect(controller_, signal, this, &EditorContentView::syncRelinkAlert);
    connect(controller_, &C::discardQuestionChanged, this, &EditorContentView::syncDiscardDialog);
    connect(controller_, &C::showExportSheetChanged, this, [this] {
        syncSheet(exportSheet_, controller_->showExportSheet(), pieces_.exportSheet,
                  [this] { controller_->setShowExportSheet(false); });
    });
    connect(controller_, &C::showProjectSettingsChanged, this, [this] {
        syncSheet(projectSettingsSheet_, controller_->showProjectSettings(), pieces_.projectSettingsSheet,
                  [this] { controller_->setShowProjectSettings(false); });
    });
    connect(controller_, &C::frameRateQuestionChanged, this, &EditorContentView::syncFrameRateQuestion);
    connect(controller_, &C::gradeInspectorRequested, this, &EditorContentView::openGradeInspectorWindow);
    connect(controller_, &C::gradeInspectorCloseRequested, this, [this] { closeAndForget(gradeInspectorWindow_); });
    connect(controller_, &C::sourceViewerRequested, this, &EditorContentView::openSourceViewerWindow);
    connect(controller_, &C::sourceViewerCloseRequested, this, [this] { closeAndForget(sourceViewerWindow_); });
    refreshRows();
}

ShellWorkspaceFactories::Factory EditorContentView::factory(EditorWorkspaceController::Services services,
                                                            EditorWorkspacePieces pieces)
{
    return [services = std::move(services), pieces = std::move(pieces)](VelmoraWorkflowState& workflow,
                                                                       QWidget* parent) -> QWidget* {
        return new EditorContentView(workflow, services, pieces, parent);
    };
}

QPoint EditorContentView::gradeInspectorPosition(const QRect& mainWindowFrame)
{
    return mainWindowFrame.topLeft() + gradeInspectorOffset;
}

QString EditorContentView::bottomHintText(bool gradePreviewEnabled)
{
    return gradePreviewEnabled
               ? QStringLiteral("Grade ON — Space play · F clean feed · Ctrl+Z undo · S split")
               : QStringLiteral("Grade OFF — ↑↓ cuts · ←→ scrub+audio · ⇧←→ fine · G close gap · Space play · F clean feed");
}

QWidget* EditorContentView::buildMainColumn(const EditorWorkspacePieces& pieces)
{
    auto* column = new QWidget(split_);
    column->setObjectName(QStringLiteral("mainColumn"));
    auto* layout = new QVBoxLayout(column);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    topBar_ = new EditorTopBar(*controller_, column);
    layout->addWidget(topBar_);
    importHintRow_ = rowAround(pieces.importHintBanner(*controller_, column), "importHintRow", {14, 6, 14, 6}, 10, column);
    layout->addWidget(importHintRow_);
    previewArea_ = new PreviewArea(*controller_, pieces.programView(*controller_, column), column);
    layout->addWidget(previewArea_, 1);
    playbackBar_ = new PlaybackBar(*controller_, column);
    layout->addWidget(playbackBar_);
    editToolsBar_ = new EditToolsBar(*controller_, column);
    layout->addWidget(editToolsBar_);

    auto* showPool = new QPushButton(QStringLiteral("Media Pool"), column);
    showPool->setObjectName(QStringLiteral("showMediaPoolButton"));
    VelmoraSymbols::apply(*showPool, "folder");
    EditorWorkspaceStyle::setCaption(*showPool);
    showPool->setFocusPolicy(Qt::NoFocus);
    connect(showPool, &QPushButton::clicked, controller_, [this] { controller_->setShowMediaPool(true); });
    showMediaPoolRow_ = rowAround(nullptr, "showMediaPoolRow", {14, 4, 14, 4}, 6, column);
    showMediaPoolRow_->layout()->addWidget(showPool);
    static_cast<QHBoxLayout*>(showMediaPoolRow_->layout())->addStretch(1);
    layout->addWidget(showMediaPoolRow_);

    clipPickerBar_ = new ClipPickerBar(*controller_, column);
    layout->addWidget(clipPickerBar_);
    timelineHeaderRow_ = rowAround(pieces.timelineHeader(*controller_, column), "timelineHeaderRow", {12, 6, 12, 6}, 10,
                                   column);
    layout->addWidget(timelineHeaderRow_);
    timelineStripHost_ = rowAround(pieces.timelineStrip(*controller_, column), "timelineStripHost", {0, 0, 0, 0}, 0,
                                   column);
    layout->addWidget(timelineStripHost_);

    auto* bottomBar = new QWidget(column);
    bottomBar->setObjectName(QStringLiteral("bottomBar"));
    bottomBar->setAttribute(Qt::WA_StyledBackground);
    auto* bottomRow = new QHBoxLayout(bottomBar);
    bottomRow->setContentsMargins(8, 8, 8, 8);
    bottomHint_ = new QLabel(bottomBar);
    bottomHint_->setObjectName(QStringLiteral("bottomHint"));
    bottomRow->addWidget(bottomHint_);
    bottomRow->addStretch(1);
    layout->addWidget(bottomBar);
    return column;
}

void EditorContentView::refreshRows()
{
    const EditorWorkspaceController& workspace = *controller_;
    mediaPoolColumn_->setVisible(workspace.showMediaPool());
    showMediaPoolRow_->setVisible(!workspace.showMediaPool());
    importHintRow_->setVisible(workspace.importHintShown());
    timelineStripHost_->setFixedHeight(static_cast<int>(std::lround(workspace.timelineStripHeight())));
    bottomHint_->setText(bottomHintText(workspace.engine().gradePreviewEnabled()));
}

// ---- alerts and the discard dialog ----

void EditorContentView::presentBox(QPointer<QMessageBox>& slot, bool shown,
                                   const std::function<QMessageBox*()>& make,
                                   std::function<void(QMessageBox::ButtonRole answer)> answered)
{
    if (!shown) {
        closeAndForget(slot);
        return;
    }
    if (slot)
        return;
    QMessageBox* box = make();
    connect(box, &QDialog::finished, this, [slot = &slot, box, answered = std::move(answered)] {
        if (*slot != box)
            return;
        *slot = nullptr;
        // Closed without a button (Escape, the title bar) counts as the cancelling answer.
        QAbstractButton* clicked = box->clickedButton();
        answered(clicked ? box->buttonRole(clicked) : QMessageBox::RejectRole);
    });
    slot = box;
    box->open();
}

void EditorContentView::syncErrorAlert()
{
    presentBox(errorAlert_, controller_->showError(), [this] {
        QMessageBox* box = makeBox(QStringLiteral("Error"), "errorAlert", this);
        box->setIcon(QMessageBox::Warning);
        box->addButton(QStringLiteral("OK"), QMessageBox::RejectRole);
        return box;
    }, [this](QMessageBox::ButtonRole) { controller_->setShowError(false); });
    if (errorAlert_)
        errorAlert_->setInformativeText(QString::fromStdString(controller_->errorText()));
}

void EditorContentView::syncRelinkAlert()
{
    presentBox(relinkAlert_, controller_->showRelinkMedia(), [this] {
        QMessageBox* box = makeBox(QStringLiteral("Relink media"), "relinkAlert", this);
        box->addButton(QStringLiteral("Choose media folder…"), QMessageBox::AcceptRole);
        box->addButton(QStringLiteral("Not now"), QMessageBox::RejectRole);
        return box;
    }, [this](QMessageBox::ButtonRole answer) {
        controller_->setShowRelinkMedia(false);
        if (answer == QMessageBox::AcceptRole)
            controller_->pickMediaFolderForRelink();
    });
    if (relinkAlert_)
        relinkAlert_->setInformativeText(QString::fromStdString(controller_->relinkMessage()));
}

void EditorContentView::syncDiscardDialog()
{
    // A newer question replaces one still open.
    closeAndForget(discardDialog_);
    const std::optional<EditorWorkspaceController::DiscardQuestion>& question = controller_->discardQuestion();
    presentBox(discardDialog_, question.has_value(), [this, &question] {
        QMessageBox* box = makeBox(QString::fromStdString(question->title), "discardDialog", this);
        box->addButton(ButtonTitle::literal(QString::fromStdString(question->discardButton)),
                       QMessageBox::DestructiveRole);
        box->addButton(QString::fromStdString(question->cancelButton), QMessageBox::RejectRole);
        return box;
    }, [this](QMessageBox::ButtonRole answer) {
        controller_->answerDiscardQuestion(answer == QMessageBox::DestructiveRole);
    });
}

void EditorContentView::syncFrameRateQuestion()
{
    // A newer question replaces one still open.
    closeAndForget(frameRateQuestionBox_);
    const std::optional<EditorWorkspaceController::FrameRateQuestion>& question = controller_->frameRateQuestion();
    presentBox(frameRateQuestionBox_, question.has_value(), [this, &question] {
        QMessageBox* box = makeBox(QString::fromStdString(question->message), "frameRateQuestion", this);
        box->setIcon(QMessageBox::Information);
        box->setInformativeText(QString::fromStdString(question->informativeText));
        box->setDefaultButton(box->addButton(QString::fromStdString(question->useClipRate), QMessageBox::AcceptRole));
        box->addButton(QString::fromStdString(question->keepProjectRate), QMessageBox::RejectRole);
        return box;
    }, [this](QMessageBox::ButtonRole answer) { controller_->answerFrameRateQuestion(answer == QMessageBox::AcceptRole); });
}

// ---- sheets and tool windows ----

QWidget* EditorContentView::ownedWindow(QWidget* window)
{
    // The close handling below refers to this workspace: what it presents must not outlive it.
    if (window && window->parentWidget() != this)
        window->setParent(this, window->windowFlags() | Qt::Window);
    return window;
}

void EditorContentView::syncSheet(QPointer<QWidget>& slot, bool shown, const EditorWorkspacePieces::ViewFactory& make,
                                  const std::function<void()>& dismiss)
{
    if (shown == !slot.isNull())
        return;
    if (!shown) {
        closeAndForget(slot);
        return;
    }
    QWidget* sheet = ownedWindow(make(*controller_, this));
    if (!sheet)
        return;
    slot = sheet;
    // The user closing the sheet lowers its flag; closing it because the flag fell does not.
    auto closed = [slot = &slot, sheet, dismiss] {
        if (*slot != sheet)
            return;
        *slot = nullptr;
        sheet->deleteLater();
        dismiss();
    };
    new CloseWatcher(*sheet, closed);
    if (auto* dialog = qobject_cast<QDialog*>(sheet)) {
        connect(dialog, &QDialog::finished, this, closed);
        dialog->open();
    } else {
        sheet->setWindowModality(Qt::WindowModal);
        sheet->show();
    }
}

void EditorContentView::centreOnScreen(QWidget& window) const
{
    if (const QScreen* display = screen() ? screen() : QGuiApplication::primaryScreen()) {
        const QRect frame = window.frameGeometry();
        window.move(display->availableGeometry().center() - QPoint(frame.width() / 2, frame.height() / 2));
    }
}

void EditorContentView::openGradeInspectorWindow(const GradeInspectorWindowArguments& arguments)
{
    // One inspector at a time: every opening replaces the window.
    closeAndForget(gradeInspectorWindow_);
    // A floating utility window above the workspace's, not resizable.
    QWidget* inspector = toolWindow("gradeInspectorWindow", QStringLiteral("Mood & Basic Grade"),
                                    Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                                        Qt::WindowCloseButtonHint | Qt::WindowMinimizeButtonHint,
                                    this);
    if (QWidget* content = pieces_.gradeInspectorWindow(arguments, inspector)) {
        inspector->layout()->addWidget(content);
        inspector->layout()->setAlignment(content, Qt::AlignCenter);
        // A content of fixed size (the inspector's 380 × 620) is the window's content exactly:
        // nothing is cut off and nothing is added around it. Any other content gets the
        // standard size, or its least size when that is larger.
        const bool fixedContent = content->minimumSize() == content->maximumSize();
        inspector->setFixedSize(fixedContent ? content->minimumSize()
                                             : gradeInspectorSize.expandedTo(content->minimumSizeHint()));
    } else {
        inspector->setFixedSize(gradeInspectorSize);
    }
    gradeInspectorWindow_ = inspector;
    const QWidget* mainWindow = window();
    if (mainWindow && mainWindow->isVisible())
        inspector->move(gradeInspectorPosition(mainWindow->frameGeometry()));
    else
        centreOnScreen(*inspector);
    inspector->show();
    inspector->raise();
    inspector->activateWindow();
}

void EditorContentView::openSourceViewerWindow(SourceViewerWindowArguments arguments)
{
    // One source viewer at a time: opening another replaces it.
    closeAndForget(sourceViewerWindow_);
    QWidget* viewer =
        toolWindow("sourceViewerWindow",
                   QString::fromStdString(EditorWorkspaceController::sourceViewerTitle(
                       arguments.source, arguments.timelineClipId.has_value())),
                   Qt::Window, this);
    arguments.isWindowKey = [window = QPointer<QWidget>(viewer)] { return window && window->isActiveWindow(); };
    if (QWidget* content = pieces_.sourceViewerWindow(arguments, viewer))
        viewer->layout()->addWidget(content);
    viewer->resize(sourceViewerSize);
    sourceViewerWindow_ = viewer;
    centreOnScreen(*viewer);
    viewer->show();
    viewer->raise();
    viewer->activateWindow();
}

} // namespace velmora
