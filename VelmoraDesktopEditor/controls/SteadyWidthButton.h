#pragma once

#include <QPushButton>
#include <QStringList>

namespace velmora {

// A push button whose title changes between known texts ("Link Audio L", "Audio Linked L", …)
// without changing its width: it asks for the width of the widest of them, whichever it shows, so
// the buttons after it in a row never move when it is relabelled. Titles are shown as given (an
// "&" marks a mnemonic, as in any QPushButton). Main thread only.
class SteadyWidthButton final : public QPushButton {
    Q_OBJECT
public:
    // `titles` are every text the button may show; it starts showing the first.
    explicit SteadyWidthButton(QStringList titles, QWidget* parent = nullptr);

    const QStringList& titles() const { return titles_; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

private:
    QStringList titles_;
};

} // namespace velmora
