#include "controls/VelmoraSegmentedPicker.h"

#include <algorithm>

#include <QButtonGroup>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>

namespace velmora {
namespace {

constexpr int labelSpacing = 8;

} // namespace

VelmoraSegmentedPicker::VelmoraSegmentedPicker(const QString& label, const QStringList& segmentTitles, QWidget* parent)
    : QWidget(parent), group_(new QButtonGroup(this)), label_(new QLabel(label, this))
{
    setAccessibleName(label);
    label_->setObjectName(QStringLiteral("pickerLabel"));
    group_->setExclusive(true);
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    row->addWidget(label_);
    row->addSpacing(labelSpacing);
    for (int i = 0; i < segmentTitles.size(); ++i) {
        auto* button = new QPushButton(segmentTitles[i], this);
        button->setCheckable(true);
        button->setFocusPolicy(Qt::TabFocus);
        button->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        // Where the segment sits, for the style sheet's rounded ends.
        const char* position = "middle";
        if (segmentTitles.size() == 1)
            position = "only";
        else if (i == 0)
            position = "first";
        else if (i == segmentTitles.size() - 1)
            position = "last";
        button->setProperty("segment", QString::fromLatin1(position));
        group_->addButton(button, i);
        row->addWidget(button, 1);
    }
    setCurrentIndex(0);
    // Programmatic changes block the group's signals, so a toggle to checked is the user's.
    connect(group_, &QButtonGroup::idToggled, this, [this](int id, bool checked) {
        if (checked)
            emit segmentChosen(id);
    });
}

QSize VelmoraSegmentedPicker::sizeHint() const
{
    // Equal segments, each as wide as the widest title needs in the chosen segment's heavier
    // weight, so that a title does not lose its ends when its segment is chosen.
    QSize widest;
    for (QAbstractButton* button : group_->buttons()) {
        QFont chosen = button->font();
        chosen.setWeight(QFont::DemiBold);
        const int extra = QFontMetrics(chosen).horizontalAdvance(button->text()) -
                          button->fontMetrics().horizontalAdvance(button->text());
        widest = widest.expandedTo(button->sizeHint() + QSize(std::max(extra, 0), 0));
    }
    const QSize labelSize = label_->sizeHint();
    return {labelSize.width() + labelSpacing + widest.width() * count(),
            std::max(widest.height(), labelSize.height())};
}

QStringList VelmoraSegmentedPicker::segmentTitles() const
{
    QStringList titles;
    for (QAbstractButton* button : group_->buttons())
        titles << button->text();
    return titles;
}

int VelmoraSegmentedPicker::count() const
{
    return static_cast<int>(group_->buttons().size());
}

int VelmoraSegmentedPicker::currentIndex() const
{
    return group_->checkedId();
}

void VelmoraSegmentedPicker::setCurrentIndex(int index)
{
    QAbstractButton* button = group_->button(index);
    if (!button)
        return;
    const QSignalBlocker blocker(group_);
    button->setChecked(true);
}

QAbstractButton* VelmoraSegmentedPicker::segment(int index) const
{
    return group_->button(index);
}

} // namespace velmora
