#include "app/WindowScreenshot.h"

#include <cstddef>
#include <cstdio>
#include <utility>

#include <QCoreApplication>
#include <QDir>
#include <QEvent>
#include <QFileInfo>
#include <QList>
#include <QPixmap>
#include <QPointer>
#include <QRect>
#include <QScreen>
#include <QString>
#include <QTimer>
#include <QWidget>
#include <QWindow>

#include "workspace/EditorWorkspaceController.h"
#include "workspace/pool/MediaPoolGrid.h"

namespace velmora::WindowScreenshot {
namespace {

constexpr int appearTimeoutMilliseconds = 20000;
constexpr int shownTimeoutMilliseconds = 90000;

enum class Wait { window, project, pictures };

void finish(int code, const QString& message)
{
    std::fprintf(stderr, "velmora-editor: %s\n", qPrintable(message));
    QCoreApplication::exit(code);
}

bool holdsProject(const QWidget& window)
{
    const auto* workspace = window.findChild<const EditorWorkspaceController*>();
    return workspace && workspace->hasProject();
}

// Every media pool on screen has cards and shows the picture of each card in view that stands
// for a video or a still.
bool poolShowsItsPictures(const QWidget& window)
{
    const QList<MediaPoolGrid*> grids = window.findChildren<MediaPoolGrid*>();
    if (grids.isEmpty())
        return false;
    for (const MediaPoolGrid* grid : grids) {
        if (!grid->isVisible() || grid->cards().empty())
            return false;
        const QRect inView = grid->visibleRegion().boundingRect();
        for (std::size_t i = 0; i < grid->cards().size(); ++i) {
            const MediaPoolGrid::Card& card = grid->cards()[i];
            const bool hasPicture = card.placeholderSymbol == "video" || card.placeholderSymbol == "photo";
            const int index = static_cast<int>(i);
            if (hasPicture && grid->cardRect(index).intersects(inView) && !grid->showsPicture(index))
                return false;
        }
    }
    return true;
}

// Watches the window's exposure and paints; once it shows what was asked for, it is painted
// again whole and grabbed.
class Watch final : public QObject {
public:
    Watch(QWidget& window, QString path, Wait wait)
        : QObject(&window), window_(&window), path_(std::move(path)), wait_(wait)
    {
        QCoreApplication::instance()->installEventFilter(this);
        QTimer::singleShot(appearTimeoutMilliseconds, this, [this] {
            if (!exposed())
                done(3, QStringLiteral("the window never appeared on the screen"));
        });
        QTimer::singleShot(shownTimeoutMilliseconds, this, [this] {
            done(5, QStringLiteral("the window never showed what the screenshot waits for"));
        });
        checkLater();
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Expose || event->type() == QEvent::Paint) {
            const auto* widget = qobject_cast<QWidget*>(watched);
            if (watched == windowHandle() || (widget && widget->window() == window_))
                checkLater();
        }
        return false;
    }

private:
    QWindow* windowHandle() const { return window_ ? window_->windowHandle() : nullptr; }
    bool exposed() const { return windowHandle() && windowHandle()->isExposed(); }

    void checkLater()
    {
        if (checkQueued_ || finished_)
            return;
        checkQueued_ = true;
        QTimer::singleShot(0, this, [this] {
            checkQueued_ = false;
            check();
        });
    }

    void check()
    {
        if (finished_ || !window_ || !exposed())
            return;
        if (wait_ != Wait::window && !holdsProject(*window_))
            return;
        if (wait_ == Wait::pictures && !poolShowsItsPictures(*window_))
            return;
        // Laid out and painted as it stands now, then taken from the screen.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
        window_->repaint();
        const QPixmap shot = window_->screen() ? window_->screen()->grabWindow(window_->winId()) : QPixmap();
        QDir().mkpath(QFileInfo(path_).absolutePath());
        if (shot.isNull() || !shot.save(path_, "PNG"))
            return done(4, QStringLiteral("could not save the screenshot to %1").arg(path_));
        done(0, QStringLiteral("saved the window's screenshot to %1").arg(path_));
    }

    void done(int code, const QString& message)
    {
        if (finished_)
            return;
        finished_ = true;
        QCoreApplication::instance()->removeEventFilter(this);
        finish(code, message);
    }

    QPointer<QWidget> window_;
    QString path_;
    Wait wait_;
    bool checkQueued_ = false;
    bool finished_ = false;
};

} // namespace

void scheduleIfRequested(QWidget& window)
{
    const QString path = qEnvironmentVariable("VELMORA_SCREENSHOT");
    if (path.isEmpty())
        return;
    const QString asked = qEnvironmentVariable("VELMORA_SCREENSHOT_WAIT");
    const Wait wait = asked == QStringLiteral("pictures")  ? Wait::pictures
                      : asked == QStringLiteral("project") ? Wait::project
                                                           : Wait::window;
    new Watch(window, path, wait);
}

} // namespace velmora::WindowScreenshot
