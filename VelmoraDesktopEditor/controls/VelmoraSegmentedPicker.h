#pragma once

#include <QString>
#include <QStringList>
#include <QWidget>

class QAbstractButton;
class QButtonGroup;
class QLabel;

namespace velmora {

// A segmented picker: its label ("Mode"), then a row of joined, exclusive segments of equal
// width, one of them chosen. The chosen segment is a bound
// value: `setCurrentIndex` shows it without a signal, a click on another segment emits
// `segmentChosen` and shows the choice. Main thread only.
class VelmoraSegmentedPicker final : public QWidget {
    Q_OBJECT
public:
    VelmoraSegmentedPicker(const QString& label, const QStringList& segmentTitles, QWidget* parent = nullptr);

    QString label() const { return accessibleName(); }
    QStringList segmentTitles() const;
    int count() const;
    // -1 when nothing is chosen.
    int currentIndex() const;
    void setCurrentIndex(int index);
    QAbstractButton* segment(int index) const;

    QSize sizeHint() const override;

signals:
    // The user chose the segment at `index` (a click on the already chosen one emits nothing).
    void segmentChosen(int index);

private:
    QButtonGroup* group_;
    QLabel* label_;
};

} // namespace velmora
