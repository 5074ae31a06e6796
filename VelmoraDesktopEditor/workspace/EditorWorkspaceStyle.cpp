#include "workspace/EditorWorkspaceStyle.h"

#include <QLabel>
#include <QStyle>
#include <QWidget>

#include "controls/VelmoraPalette.h"

namespace velmora::EditorWorkspaceStyle {

namespace {

QColor rgb(double red, double green, double blue)
{
    return QColor::fromRgbF(static_cast<float>(red), static_cast<float>(green), static_cast<float>(blue));
}

void repolish(QWidget& widget)
{
    widget.style()->unpolish(&widget);
    widget.style()->polish(&widget);
}

} // namespace

QColor selectedClip() { return rgb(0.25, 0.45, 0.85); }
QColor clipButton() { return VelmoraPalette::grey(0.15); }
QColor versionBadge() { return rgb(0.2, 0.45, 0.85); }
QColor clipGainLabel() { return rgb(0.98, 0.75, 0.25); }
QColor clipFadeLabel() { return rgb(0.75, 0.85, 1.0); }
QColor warning() { return QColor(255, 149, 0); }
QColor ready() { return QColor(52, 199, 89); }

QString styleSheet()
{
    using VelmoraPalette::css;
    using VelmoraPalette::grey;
    const QString text = css(VelmoraPalette::editorText());
    const QString muted = css(VelmoraPalette::editorMuted());
    const QString panel = css(VelmoraPalette::editorPanel());

    QString sheet;
    // Strips of the main column and the media pool column.
    sheet += QStringLiteral("QWidget#topBar, QWidget#playbackBar, QWidget#clipPickerBar, QWidget#bottomBar"
                            " { background: %1; }\n")
                 .arg(panel);
    sheet += QStringLiteral("QWidget#editToolsBar { background: %1; }\n").arg(css(VelmoraPalette::toolbarBg()));
    sheet += QStringLiteral("QWidget#timelineHeaderRow, QWidget#mediaPoolColumn { background: %1; }\n")
                 .arg(css(grey(0.1)));
    sheet += QStringLiteral("QWidget#importHintRow { background: %1; }\n").arg(css(grey(0.12)));
    sheet += QStringLiteral("QWidget#previewArea, QWidget#GradedPreviewView { background: %1; }\n")
                 .arg(css(VelmoraPalette::editorBg()));
    sheet += QStringLiteral("QWidget#TimelineStripView { background: %1; }\n").arg(css(grey(0.06)));

    // Push buttons: compact, so the command rows keep every title whole.
    sheet += QStringLiteral("QPushButton { color: %1; background: %2; border: 1px solid %3; border-radius: 5px;"
                            " padding: 3px 9px; font-size: 12px; }\n"
                            "QPushButton:hover { background: %4; }\n"
                            "QPushButton:pressed { background: %5; }\n"
                            "QPushButton:disabled { color: %6; background: %7; border-color: %2; }\n"
                            "QPushButton:flat { background: transparent; border: none; padding: 2px; }\n")
                 .arg(text, css(grey(0.20)), css(grey(0.30)), css(grey(0.25)), css(grey(0.32)), css(grey(0.40)),
                      css(grey(0.13)));

    sheet += QStringLiteral("QWidget#topBarCommands QPushButton { font-size: 11px; padding: 3px 7px; }\n");
    // The media pool's "Import", with its menu part.
    sheet += QStringLiteral("QToolButton#mediaPoolImportButton { color: %1; background: %2; border: 1px solid %3;"
                            " border-radius: 5px; padding: 2px 4px; padding-right: 16px; }\n"
                            "QToolButton#mediaPoolImportButton:hover { background: %4; }\n"
                            "QToolButton#mediaPoolImportButton::menu-button { border-left: 1px solid %3; width: 14px; }\n")
                 .arg(text, css(grey(0.20)), css(grey(0.30)), css(grey(0.25)));

    // Texts.
    sheet += QStringLiteral("QLabel, QCheckBox { color: %1; }\n").arg(text);
    sheet += QStringLiteral("QLabel[velmoraRole=\"muted\"] { color: %1; }\n").arg(muted);
    sheet += QStringLiteral("QWidget[caption=\"true\"] { font-size: 11px; }\n");
    sheet += QStringLiteral("QLabel[headline=\"true\"] { font-weight: 600; }\n");
    sheet += QStringLiteral("QLabel#titleLabel { font-size: 17px; font-weight: bold; }\n");
    sheet += QStringLiteral("QLabel#versionBadge { color: white; background: %1; border-radius: 4px;"
                            " padding: 2px 6px; font-size: 11px; font-weight: bold; }\n")
                 .arg(css(versionBadge()));
    sheet += QStringLiteral("QLabel#projectNameLabel { color: %1; font-size: 11px; }\n"
                            "QLabel#projectNameLabel[dirty=\"true\"] { color: %2; }\n")
                 .arg(muted, css(warning()));
    sheet += QStringLiteral("QLabel#statusLabel { color: %1; font-size: 11px; }\n").arg(muted);
    sheet += QStringLiteral("QLabel#bottomHint { color: %1; font-size: 11px; }\n").arg(muted);

    // Clip gain and fade groups.
    sheet += QStringLiteral("QWidget#clipGainBar, QWidget#clipFadeBar { background: %1; border-radius: 8px; }\n")
                 .arg(css(grey(0.1)));
    sheet += QStringLiteral("QLabel#clipGainTitle { color: %1; font-size: 11px; font-weight: bold; }\n"
                            "QLabel#clipFadeTitle { color: %2; font-size: 11px; font-weight: bold; }\n")
                 .arg(css(clipGainLabel()), css(clipFadeLabel()));
    sheet += QStringLiteral("QLabel#clipGainValue { font-family: monospace; font-size: 11px; }\n");
    sheet += QStringLiteral("QLineEdit#fadeInField, QLineEdit#fadeOutField { color: %1; background: %2;"
                            " border: 1px solid %3; border-radius: 4px; padding: 1px 3px; }\n")
                 .arg(text, css(grey(0.16)), css(grey(0.30)));

    // Program area: the prominent buttons of the placeholder and the canvas read-out.
    sheet += QStringLiteral("QPushButton[prominent=\"true\"] { color: white; background: %1; border: none;"
                            " border-radius: 5px; padding: 5px 14px; font-weight: 600; }\n"
                            "QPushButton[prominent=\"true\"]:disabled { background: %2; }\n")
                 .arg(css(VelmoraPalette::accent()), css(grey(0.3)));
    sheet += QStringLiteral("QLabel#previewHeading { font-size: 15px; font-weight: 600; }\n"
                            "QLabel#previewHeading[warning=\"true\"] { color: %1; }\n"
                            "QLabel#projectReadyLabel { color: %2; font-weight: 600; }\n")
                 .arg(css(warning()), css(ready()));
    sheet += QStringLiteral("QWidget#canvasReadout { background: rgba(0, 0, 0, 115); border-radius: 4px; }\n"
                            "QLabel#canvasLabel { color: rgba(255, 255, 255, 179); font-family: monospace;"
                            " font-size: 10px; }\n"
                            "QLabel#linkedSourceLabel { color: rgba(255, 255, 255, 140); font-family: monospace;"
                            " font-size: 9px; }\n");
    // Timeline header, import hint and media pool.
    sheet += QStringLiteral("QLabel#timelineLegend { color: %1; font-size: 10px; }\n"
                            "QLabel#timelineZoomReadout, QLabel#laneHeightReadout { font-family: monospace; }\n"
                            "QLabel#importHintText { color: %2; }\n"
                            "QScrollArea#mediaPoolScroll, QWidget#mediaPoolGrid { background: transparent; }\n")
                 .arg(css(grey(0.45)), css(warning()));
    sheet += QStringLiteral("QLabel#timeLabel { font-family: monospace; }\n"
                            "QLabel#durationLabel { color: %1; font-family: monospace; }\n"
                            "QLabel#transportCanvasLabel { color: %2; font-family: monospace; font-size: 10px; }\n")
                 .arg(muted, css(grey(0.65, 0.85)));
    return sheet;
}

void setMuted(QWidget& label)
{
    label.setProperty("velmoraRole", QStringLiteral("muted"));
    repolish(label);
}

void setCaption(QWidget& widget)
{
    setStyleFlag(widget, "caption", true);
}

QLabel* mutedCaption(const QString& text, QWidget* parent, const char* objectName)
{
    auto* label = new QLabel(text, parent);
    if (objectName)
        label->setObjectName(QString::fromLatin1(objectName));
    setMuted(*label);
    setCaption(*label);
    return label;
}

QWidget* styledView(const char* objectName, QWidget* parent)
{
    auto* view = new QWidget(parent);
    view->setObjectName(QString::fromLatin1(objectName));
    view->setAttribute(Qt::WA_StyledBackground);
    return view;
}

void setStyleFlag(QWidget& widget, const char* name, bool on)
{
    if (widget.property(name).toBool() == on && widget.property(name).isValid())
        return;
    widget.setProperty(name, on);
    repolish(widget);
}

} // namespace velmora::EditorWorkspaceStyle
