#include "preview/CleanFeedWindowController.h"

#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QVBoxLayout>
#include <QWidget>

#include "platform/dispatch/QtMainQueue.h"
#include "preview/CleanFeedRootView.h"
#include "preview/TimelinePreviewEngine.h"

namespace velmora {

CleanFeedWindowController::CleanFeedWindowController(TimelinePreviewEngine& engine, QWidget& window,
                                                     std::shared_ptr<MainQueue> mainQueue)
    : CleanFeedWindowHandle(&window), engine_(&engine), window_(&window), mainQueue_(std::move(mainQueue))
{
    setObjectName(QStringLiteral("CleanFeedWindowController"));
    window.installEventFilter(this);
}

CleanFeedWindowController* CleanFeedWindowController::open(TimelinePreviewEngine& engine, Services services)
{
    if (auto* current = qobject_cast<CleanFeedWindowController*>(engine.cleanFeedController())) {
        if (current->isWindowVisible()) {
            current->restoreCleanFeedSizeIfNeeded();
            current->window_->raise();
            current->window_->activateWindow();
            return current;
        }
        // Recorded but not on screen: it goes, and a fresh window takes its place.
        current->orderOutAndDetach();
    }
    std::shared_ptr<MainQueue> mainQueue =
        services.mainQueue ? std::move(services.mainQueue) : std::make_shared<QtMainQueue>();

    auto* window = new QWidget(nullptr, Qt::Window);
    window->setObjectName(QStringLiteral("CleanFeedWindow"));
    window->setWindowTitle(QStringLiteral("Clean Feed"));
    window->setAttribute(Qt::WA_DeleteOnClose);
    QPalette black = window->palette();
    black.setColor(QPalette::Window, Qt::black);
    window->setPalette(black);
    window->setAutoFillBackground(true);
    window->setMinimumSize(minimumSize);

    auto* controller = new CleanFeedWindowController(engine, *window, mainQueue);
    auto* layout = new QVBoxLayout(window);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(new CleanFeedRootView(
        engine, mainQueue,
        [controller = QPointer<CleanFeedWindowController>(controller)] {
            if (controller) {
                controller->performClose();
            }
        },
        window));
    // A clean feed outlives no engine.
    connect(&engine, &QObject::destroyed, window, &QWidget::close);

    window->resize(contentSize);
    controller->centreOnScreen();
    engine.setCleanFeedController(controller);
    window->show();
    // Once shown the window has its frame and its screen: place it again, centred on that
    // screen, keeping its content size even on a smaller screen.
    mainQueue->post([window = QPointer<QWidget>(window), controller = QPointer<CleanFeedWindowController>(controller)] {
        if (window && controller && !window->isFullScreen()) {
            window->resize(contentSize);
            controller->centreOnScreen();
        }
    });
    return controller;
}

bool CleanFeedWindowController::isWindowVisible() const
{
    return window_ && window_->isVisible();
}

void CleanFeedWindowController::performClose()
{
    if (!window_) {
        detachFromEngine();
        return;
    }
    if (!window_->isFullScreen()) {
        orderOutAndDetach();
        return;
    }
    window_->showNormal();
    mainQueue_->postDelayed(leaveFullScreenDelaySeconds, [self = QPointer<CleanFeedWindowController>(this)] {
        if (self) {
            self->orderOutAndDetach();
        }
    });
}

void CleanFeedWindowController::orderOutAndDetach()
{
    detachFromEngine();
    if (window_) {
        // Deletes the window, and with it this controller, once control is back in the loop.
        window_->close();
    }
}

void CleanFeedWindowController::detachFromEngine()
{
    if (engine_ && engine_->cleanFeedController() == this) {
        engine_->setCleanFeedController(nullptr);
    }
}

void CleanFeedWindowController::restoreCleanFeedSizeIfNeeded()
{
    if (!window_ || window_->isFullScreen()) {
        return;
    }
    const QRect frame = window_->frameGeometry();
    if (frame.width() < minimumSize.width() || frame.height() < minimumSize.height()) {
        window_->resize(contentSize);
        centreOnScreen();
    }
}

void CleanFeedWindowController::enterFullScreen(QScreen* screen)
{
    if (!window_) {
        return;
    }
    if (screen && screen != window_->screen()) {
        // Full screen goes to the screen the window is on: put it there first.
        if (window_->isFullScreen()) {
            window_->showNormal();
        }
        const QRect area = screen->availableGeometry();
        window_->move(area.center() - QPoint(window_->frameGeometry().width() / 2, window_->frameGeometry().height() / 2));
    }
    window_->showFullScreen();
}

void CleanFeedWindowController::centreOnScreen()
{
    if (!window_) {
        return;
    }
    QScreen* screen = window_->screen() ? window_->screen() : QGuiApplication::primaryScreen();
    if (!screen) {
        return;
    }
    const QRect area = screen->availableGeometry();
    const QSize frame = window_->frameGeometry().size();
    window_->move(area.center().x() - frame.width() / 2, area.center().y() - frame.height() / 2);
}

bool CleanFeedWindowController::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == window_ && event->type() == QEvent::Close) {
        detachFromEngine();
    }
    return CleanFeedWindowHandle::eventFilter(watched, event);
}

} // namespace velmora
