#pragma once

#include <optional>

#include <QWidget>

class QLineEdit;
class QPushButton;

namespace velmora {

class EditorWorkspaceController;

// The fade group of the edit tools bar: fade-in and fade-out fields in seconds (one decimal,
// read and shown with a full stop whatever the locale), "Apply" and "Clear". Present only while
// a video clip is selected. Return in a field or "Apply" ends text editing (so the workspace's
// keys act again) and applies both fields as one undo step. Main thread only.
class ClipFadeBar final : public QWidget {
    Q_OBJECT
public:
    ClipFadeBar(EditorWorkspaceController& workspace, QWidget* parent = nullptr);

    QLineEdit* fadeInField() const { return fadeInField_; }
    QLineEdit* fadeOutField() const { return fadeOutField_; }
    QPushButton* applyButton() const { return applyButton_; }
    QPushButton* clearButton() const { return clearButton_; }

    void refresh();

    // A field's text as seconds: a C-locale decimal number, else none.
    static std::optional<double> parseSeconds(const QString& text);
    // "%.1f" in the C locale.
    static QString formatSeconds(double seconds);

private:
    void apply();
    void showValue(QLineEdit& field, double seconds);

    EditorWorkspaceController& workspace_;
    QLineEdit* fadeInField_;
    QLineEdit* fadeOutField_;
    QPushButton* applyButton_;
    QPushButton* clearButton_;
    // The field whose typing is being applied: its own change does not rewrite its text.
    QLineEdit* typingIn_ = nullptr;
};

} // namespace velmora
