#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include <QWidget>

#include "inspectors/SourceViewerController.h"

class QCheckBox;
class QLabel;
class QPushButton;
class QSlider;
class QStackedLayout;

namespace velmora {

class SourceAudioWaveformView;
class SourceGradedPreviewView;
struct SourceGradedPreviewInputs;
class VelmoraDarkPopUpPicker;
class WindowKeyboardFocusView;

// The content of the source viewer window: the picture (graded source preview, or the
// waveform of an audio source) over a control panel with the LUT row, the transport (play,
// IN, TIME, OUT, scrub, file info) and the hand-over buttons. The rules live in
// SourceViewerController; this view binds to it.
//
// Coming on screen it loads the source and starts watching the application's key presses
// (space, i, o, taken only while its window is key); going away (its window closed or hidden,
// or the view deleted) it stops: the player is paused and released, the live picture is no
// longer polled, and the key filter removed. It never closes its window; the owner does, when
// a hand-over or "Close" calls it. Main thread only.
class SourceViewer final : public QWidget {
    Q_OBJECT
public:
    using RangeHandOver = SourceViewerController::RangeHandOver;

    // The least height of the picture: what the 800 × 550 window leaves above the control
    // panel (about 160 px tall), with room to spare for larger fonts, so that the window opens
    // at that size with every control whole.
    static constexpr int minimumPictureHeight = 380;

    SourceViewer(TimelinePreviewEngine& engine, EditSession::Source source,
                 std::optional<std::filesystem::path> mediaFolderURL, std::optional<std::filesystem::path> sessionFile,
                 std::optional<std::string> timelineClipId, std::optional<double> initialInPoint,
                 std::optional<double> initialOutPoint, std::function<bool()> isWindowKey,
                 RangeHandOver onUpdateTimeline, RangeHandOver onInsertAtPlayhead, RangeHandOver onAddToTimeline,
                 std::function<void()> onClose, std::function<void()> onLutChanged,
                 SourceViewerServices services = {}, QWidget* parent = nullptr);
    ~SourceViewer() override;

    SourceViewerController& controller() const { return *controller_; }
    SourceGradedPreviewView* gradedPreview() const { return gradedPreview_; }
    SourceAudioWaveformView* waveform() const { return waveform_; }
    bool isKeyMonitorInstalled() const { return keyMonitorInstalled_; }

    // What the viewer hands its picture from the controller's state (the canvas from its engine).
    static SourceGradedPreviewInputs pictureInputs(const SourceViewerController& controller);

    // The characters of a key ignoring its modifiers, as the key monitor reads them: " " for
    // space, the lower-case letter for a letter key, else the event's text.
    static std::string charactersIgnoringModifiers(const QKeyEvent& event);

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* buildPictureArea();
    QWidget* buildControlPanel();
    QWidget* buildLutRow(QWidget* parent);
    QWidget* buildTransportRow(QWidget* parent);
    QWidget* buildActionRow(QWidget* parent);
    void bindController();
    void appear();
    void disappear();
    void installKeyMonitor();
    void removeKeyMonitor();

    void showPicture();
    void syncPicture();
    void syncWaveform();
    void showPlayState();
    void showTimes();
    void showMarks();
    void showLut();
    void refreshLutNames();

    SourceViewerController* controller_;
    bool keyMonitorInstalled_ = false;
    bool onScreen_ = false;

    QStackedLayout* pictureStack_ = nullptr;
    WindowKeyboardFocusView* focusView_ = nullptr;
    SourceGradedPreviewView* gradedPreview_ = nullptr;
    SourceAudioWaveformView* waveform_ = nullptr;
    QWidget* errorPanel_ = nullptr;
    QLabel* errorLabel_ = nullptr;
    QLabel* loadingLabel_ = nullptr;

    VelmoraDarkPopUpPicker* lutPicker_ = nullptr;
    QCheckBox* gradeToggle_ = nullptr;
    QPushButton* playButton_ = nullptr;
    QPushButton* inButton_ = nullptr;
    QPushButton* outButton_ = nullptr;
    QLabel* timeLabel_ = nullptr;
    QLabel* durationLabel_ = nullptr;
    QSlider* scrubSlider_ = nullptr;
};

} // namespace velmora
