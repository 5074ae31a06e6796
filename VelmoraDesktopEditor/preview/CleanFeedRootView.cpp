#include "preview/CleanFeedRootView.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>

#include <QApplication>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>

#include "editing/PreviewFrameTiming.h"
#include "preview/GradedPreviewView.h"
#include "preview/TimelinePreviewEngine.h"

namespace velmora {

namespace {

constexpr int buttonRowPadding = 12;
constexpr int buttonSpacing = 8;
constexpr int timecodeBottomInset = 24;
const QString cleanFeedTitle = QStringLiteral("Clean Feed");

} // namespace

CleanFeedRootView::CleanFeedRootView(TimelinePreviewEngine& engine, std::shared_ptr<MainQueue> mainQueue,
                                     std::function<void()> onClose, QWidget* parent)
    : QWidget(parent), engine_(&engine),
      programView_(new GradedPreviewView(engine, std::move(mainQueue), true, true, this)),
      buttonRow_(new QWidget(this)), fullScreenButton_(new QPushButton(QStringLiteral("⛶ Fullscreen"), buttonRow_)),
      closeButton_(new QPushButton(QStringLiteral("✕ Close"), buttonRow_)), timecode_(new QLabel(this))
{
    setObjectName(QStringLiteral("CleanFeedRootView"));
    QPalette black = palette();
    black.setColor(QPalette::Window, Qt::black);
    setPalette(black);
    setAutoFillBackground(true);

    buttonRow_->setObjectName(QStringLiteral("cleanFeedButtons"));
    buttonRow_->setAttribute(Qt::WA_StyledBackground);
    buttonRow_->setStyleSheet(QStringLiteral("#cleanFeedButtons { background: rgba(0, 0, 0, 3); }"));
    auto* row = new QHBoxLayout(buttonRow_);
    row->setContentsMargins(buttonRowPadding, buttonRowPadding, buttonRowPadding, buttonRowPadding);
    row->setSpacing(buttonSpacing);
    row->addWidget(fullScreenButton_);
    row->addWidget(closeButton_);
    fullScreenButton_->setObjectName(QStringLiteral("cleanFeedFullscreenButton"));
    closeButton_->setObjectName(QStringLiteral("cleanFeedCloseButton"));
    connect(fullScreenButton_, &QPushButton::clicked, this, &CleanFeedRootView::toggleFullScreenOfCleanFeedWindow);
    connect(closeButton_, &QPushButton::clicked, this, [onClose = std::move(onClose)] {
        if (onClose) {
            onClose();
        }
    });

    timecode_->setObjectName(QStringLiteral("cleanFeedTimecode"));
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPixelSize(22);
    font.setWeight(QFont::DemiBold);
    timecode_->setFont(font);
    timecode_->setStyleSheet(QStringLiteral("#cleanFeedTimecode { color: rgba(255, 255, 255, 235);"
                                            " background: rgba(0, 0, 0, 140); border-radius: 8px;"
                                            " padding: 10px 20px; }"));
    timecode_->setAttribute(Qt::WA_TransparentForMouseEvents);

    buttonRow_->raise();
    connect(&engine, &TimelinePreviewEngine::playheadSecondsChanged, this, &CleanFeedRootView::refreshTimecode);
    refreshTimecode();
}

QString CleanFeedRootView::timecodeText(double seconds)
{
    // The frame shown at the time on a grid of 30 a second, kept to what a 64-bit count of minutes
    // prints sensibly.
    const std::int64_t count = std::clamp<std::int64_t>(FrameGrid::ofRate(30).index(seconds), 0, 1000000000000000);
    char text[48];
    std::snprintf(text, sizeof text, "%02lld:%02lld:%02lld", static_cast<long long>(count / 1800),
                  static_cast<long long>((count / 30) % 60), static_cast<long long>(count % 30));
    return QString::fromLatin1(text);
}

void CleanFeedRootView::toggleFullScreenOfCleanFeedWindow()
{
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (window->windowTitle() == cleanFeedTitle && window->isVisible()) {
            if (window->isFullScreen()) {
                window->showNormal();
            } else {
                window->showFullScreen();
            }
            return;
        }
    }
}

void CleanFeedRootView::refreshTimecode()
{
    // Many times a second while playing: only the label moves with its text.
    timecode_->setText(timecodeText(engine_ ? engine_->playheadSeconds() : 0.0));
    placeTimecode();
}

void CleanFeedRootView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    programView_->setGeometry(rect());
    buttonRow_->adjustSize();
    buttonRow_->move(width() - buttonRow_->width(), 0);
    placeTimecode();
}

void CleanFeedRootView::placeTimecode()
{
    timecode_->adjustSize();
    timecode_->move((width() - timecode_->width()) / 2, height() - timecode_->height() - timecodeBottomInset);
}

} // namespace velmora
