#include "workspace/shell/VelmoraDesktopShellView.h"

#include <memory>

#include <QCloseEvent>
#include <QKeySequence>
#include <QShortcut>
#include <QVBoxLayout>

#include "controls/VelmoraSegmentedPicker.h"
#include "controls/VelmoraWorkflowState.h"

namespace velmora {
namespace {

QStringList modeTitles()
{
    QStringList titles;
    for (VelmoraShellTab tab : VelmoraShellTabs::allCases) {
        const std::string_view raw = VelmoraShellTabs::rawValue(tab);
        titles << QString::fromUtf8(raw.data(), static_cast<qsizetype>(raw.size()));
    }
    return titles;
}

int indexOf(VelmoraShellTab tab)
{
    for (std::size_t i = 0; i < VelmoraShellTabs::allCases.size(); ++i) {
        if (VelmoraShellTabs::allCases[i] == tab)
            return static_cast<int>(i);
    }
    return 0;
}

} // namespace

VelmoraDesktopShellView::VelmoraDesktopShellView(ShellWorkspaceFactories factories, QWidget* parent)
    : QWidget(parent), factories_(std::move(factories)), workflow_(new VelmoraWorkflowState(this)),
      modePicker_(nullptr), container_(nullptr)
{
    setObjectName(QStringLiteral("VelmoraDesktopShellView"));
    setAttribute(Qt::WA_StyledBackground);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    // The picker, centred on a full-width panel strip, padded 14 horizontally and 10 vertically.
    auto* pickerBar = new QWidget(this);
    pickerBar->setObjectName(QStringLiteral("modePickerBar"));
    pickerBar->setAttribute(Qt::WA_StyledBackground);
    auto* pickerRow = new QHBoxLayout(pickerBar);
    pickerRow->setContentsMargins(14, 10, 14, 10);
    modePicker_ = new VelmoraSegmentedPicker(QStringLiteral("Mode"), modeTitles(), pickerBar);
    modePicker_->setObjectName(QStringLiteral("modePicker"));
    pickerRow->addStretch(1);
    pickerRow->addWidget(modePicker_);
    pickerRow->addStretch(1);
    column->addWidget(pickerBar);

    container_ = new QWidget(this);
    container_->setObjectName(QStringLiteral("workspaceContainer"));
    auto* holder = new QVBoxLayout(container_);
    holder->setContentsMargins(0, 0, 0, 0);
    holder->setSpacing(0);
    column->addWidget(container_, 1);

    connect(modePicker_, &VelmoraSegmentedPicker::segmentChosen, this, [this](int index) {
        if (index >= 0 && index < static_cast<int>(VelmoraShellTabs::allCases.size()))
            workflow_->requestTab(VelmoraShellTabs::allCases[static_cast<std::size_t>(index)]);
        // The picker shows the selected mode: the old one while the workspace asks or when it
        // declined, the new one once the switch happened.
        modePicker_->setCurrentIndex(indexOf(workflow_->selectedTab()));
    });
    connect(workflow_, &VelmoraWorkflowState::selectedTabChanged, this,
            &VelmoraDesktopShellView::showSelectedWorkspace);

    // The window has no menu bar: Quit is a shortcut of its own, closing the one window.
    auto* quit = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q), this);
    quit->setObjectName(QStringLiteral("quitShortcut"));
    quit->setContext(Qt::WindowShortcut);
    connect(quit, &QShortcut::activated, this, &QWidget::close);

    showSelectedWorkspace();
}

VelmoraDesktopShellView::~VelmoraDesktopShellView()
{
    // The workspaces (also a replaced one still waiting for deletion) go before the workflow
    // state they observe, which as the first child would otherwise be deleted first.
    delete container_;
}

void VelmoraDesktopShellView::openFiles(const std::vector<std::filesystem::path>& files)
{
    if (openFileHandler_ && !files.empty())
        openFileHandler_(files);
}

void VelmoraDesktopShellView::closeEvent(QCloseEvent* event)
{
    if (closeApproved_) {
        closeApproved_ = false;
        QWidget::closeEvent(event);
        emit closed();
        return;
    }
    // The workspace answers at once (this close goes on) or later, after asking the user; then
    // the window closes again, approved. A close that is not approved stays refused.
    struct Answer {
        bool given = false;
        bool later = false;
    };
    auto answer = std::make_shared<Answer>();
    QPointer<VelmoraDesktopShellView> self(this);
    workflow_->requestExit(VelmoraWorkflowState::WorkspaceExit::quit, [self, answer] {
        answer->given = true;
        if (answer->later && self) {
            self->closeApproved_ = true;
            self->close();
        }
    });
    if (answer->given) {
        QWidget::closeEvent(event);
        emit closed();
        return;
    }
    answer->later = true;
    event->ignore();
}

void VelmoraDesktopShellView::showSelectedWorkspace()
{
    const VelmoraShellTab selected = workflow_->selectedTab();
    modePicker_->setCurrentIndex(indexOf(selected));
    if (selected == shownTab_ && workspace_)
        return;

    if (workspace_) {
        // Out of sight and out of the layout now; deleted once the call that switched returns.
        QWidget* old = workspace_;
        workspace_ = nullptr;
        old->hide();
        container_->layout()->removeWidget(old);
        old->deleteLater();
    }
    shownTab_ = selected;
    const ShellWorkspaceFactories::Factory& make =
        selected == VelmoraShellTab::exportTab ? factories_.exportTab : factories_.editor;
    workspace_ = make ? make(*workflow_, container_) : nullptr;
    if (workspace_) {
        container_->layout()->addWidget(workspace_);
        workspace_->show();
    }
    emit workspaceReplaced(workspace_);
}

} // namespace velmora
