#include "controls/VelmoraDarkPopUpPicker.h"

#include <algorithm>
#include <cstdint>
#include <functional>
#include <string_view>

#include <QAbstractItemModel>
#include <QAnyStringView>
#include <QSignalBlocker>
#include <QStringList>
#include <QUtf8StringView>

#include "grading/ClipGradeCatalog.h"

namespace velmora {
namespace {

QString toQString(const std::string& text)
{
    return QString::fromStdString(text);
}

} // namespace

VelmoraDarkPopUpPicker::VelmoraDarkPopUpPicker(QWidget* parent) : QComboBox(parent)
{
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    setSizeAdjustPolicy(QComboBox::AdjustToContents);
    connect(this, &QComboBox::activated, this, &VelmoraDarkPopUpPicker::pickIndex);
}

void VelmoraDarkPopUpPicker::setSelectionAndItems(std::string selection, std::vector<PopUpItem> items)
{
    if (items == items_) {
        setSelection(std::move(selection));
        return;
    }
    selection_ = std::move(selection);
    items_ = std::move(items);
    rebuild();
}

void VelmoraDarkPopUpPicker::setSelection(std::string selection)
{
    // The rows depend on the items alone: only the row shown moves.
    selection_ = std::move(selection);
    const QSignalBlocker blocker(this);
    setCurrentIndex(rowForSelection(selectableTags_, selection_));
}

void VelmoraDarkPopUpPicker::pickIndex(int index)
{
    if (index < 0 || index >= static_cast<int>(selectableTags_.size()))
        return;
    const std::string& chosen = selectableTags_[static_cast<std::size_t>(index)];
    if (chosen == selection_)
        return;
    selection_ = chosen;
    emit selectionWritten(toQString(selection_));
    emit changed();
}

void VelmoraDarkPopUpPicker::showPopup()
{
    emit popUpAboutToShow();
    QComboBox::showPopup();
}

int VelmoraDarkPopUpPicker::rowForSelection(const std::vector<std::string>& tags, const std::string& selection)
{
    const auto found = std::find(tags.begin(), tags.end(), selection);
    if (found != tags.end())
        return static_cast<int>(found - tags.begin());
    return tags.empty() ? -1 : 0;
}

std::vector<VelmoraDarkPopUpPicker::PopUpItem> VelmoraDarkPopUpPicker::moodItems()
{
    std::vector<PopUpItem> rows{{"none", "None", false}};
    for (const ClipGradeCatalog::MoodGroup& group : ClipGradeCatalog::moodGroups()) {
        rows.push_back({"section-" + group.label, group.label, true});
        for (const ClipGradeCatalog::MoodOption& option : group.items)
            rows.push_back({option.key, option.label, false});
    }
    return rows;
}

void VelmoraDarkPopUpPicker::rebuild()
{
    // Rebuilding is not a choice of the user: no activation signals meanwhile.
    const QSignalBlocker blocker(this);
    // Lists run to tens of thousands of LUT names, and a click may change one of them: the rows
    // and the ids are brought to the new list in place, so that what stays costs a comparison,
    // not an allocation, and a rebuild stays linear.
    const std::vector<const PopUpItem*> rows = distinctRows(items_);
    std::size_t row = 0;
    for (const PopUpItem* item : rows) {
        if (row < selectableTags_.size()) {
            if (selectableTags_[row] != item->id)
                selectableTags_[row] = item->id; // reuses the string's storage
        } else {
            selectableTags_.push_back(item->id);
        }
        ++row;
    }
    selectableTags_.resize(rows.size());
    const bool many = static_cast<qsizetype>(rows.size()) > kMeasuredRows;
    chooseSizing(many);
    showRows(rows);
    if (sizedByLength_)
        setMinimumContentsLength(static_cast<int>(std::min(longestShownTitle(), kWidestTitle)));
    setCurrentIndex(rowForSelection(selectableTags_, selection_));
}

std::vector<const VelmoraDarkPopUpPicker::PopUpItem*> VelmoraDarkPopUpPicker::distinctRows(
    const std::vector<PopUpItem>& items)
{
    // A repeated id keeps its first row: rows are looked up by id. Repeats are found in one open
    // table of item positions (one allocation, not one per name).
    std::vector<const PopUpItem*> rows;
    rows.reserve(items.size());
    std::size_t buckets = 16;
    while (buckets < items.size() * 2)
        buckets *= 2;
    constexpr std::uint32_t kEmpty = UINT32_MAX;
    std::vector<std::uint32_t> table(buckets, kEmpty);
    const std::hash<std::string_view> hash;
    for (std::size_t i = 0; i < items.size(); ++i) {
        const PopUpItem& item = items[i];
        if (item.isSectionHeader)
            continue;
        std::size_t at = hash(item.id) & (buckets - 1);
        bool repeated = false;
        while (table[at] != kEmpty) {
            if (items[table[at]].id == item.id) {
                repeated = true;
                break;
            }
            at = (at + 1) & (buckets - 1);
        }
        if (repeated)
            continue;
        table[at] = static_cast<std::uint32_t>(i);
        rows.push_back(&item);
    }
    return rows;
}

void VelmoraDarkPopUpPicker::showRows(const std::vector<const PopUpItem*>& rows)
{
    // The rows shown are reused, never cleared and made again: a list of tens of thousands of
    // rows that changes in a row or two (the "(missing)" entry a click adds or takes away) keeps
    // every other row, and one whose names all change has them retitled in place. The rows that
    // stay alike at the head and the tail are left alone (compared without conversion); of those
    // between, as many as both lists have are retitled, and the rest inserted or removed in one
    // step.
    if (shownTitles_.size() != count()) {
        // Rows added or removed past this picker (as a plain QComboBox): read them back.
        shownTitles_.clear();
        for (int row = 0; row < count(); ++row)
            shownTitles_.push_back(itemText(row));
    }
    const auto same = [&](qsizetype shown, std::size_t row) {
        return QAnyStringView::equal(shownTitles_[shown], QUtf8StringView(rows[row]->title));
    };
    const qsizetype oldCount = shownTitles_.size();
    const qsizetype newCount = static_cast<qsizetype>(rows.size());
    const qsizetype common = std::min(oldCount, newCount);
    qsizetype head = 0;
    while (head < common && same(head, static_cast<std::size_t>(head)))
        ++head;
    qsizetype tail = 0;
    while (tail < common - head && same(oldCount - 1 - tail, static_cast<std::size_t>(newCount - 1 - tail)))
        ++tail;
    const qsizetype oldMiddle = oldCount - head - tail;
    const qsizetype newMiddle = newCount - head - tail;
    const qsizetype retitled = std::min(oldMiddle, newMiddle);

    QAbstractItemModel* shown = model();
    if (retitled > 0) {
        // One change for the whole run instead of one per row: each would have the list and its
        // size looked at again.
        {
            const QSignalBlocker quiet(shown);
            for (qsizetype i = head; i < head + retitled; ++i) {
                shownTitles_[i] = toQString(rows[static_cast<std::size_t>(i)]->title);
                shown->setData(shown->index(static_cast<int>(i), modelColumn()), shownTitles_[i], Qt::DisplayRole);
            }
        }
        emit shown->dataChanged(shown->index(static_cast<int>(head), modelColumn()),
                                shown->index(static_cast<int>(head + retitled - 1), modelColumn()));
    }
    const qsizetype at = head + retitled;
    if (newMiddle > oldMiddle) {
        QStringList added;
        added.reserve(newMiddle - oldMiddle);
        for (qsizetype i = at; i < at + newMiddle - oldMiddle; ++i)
            added.push_back(toQString(rows[static_cast<std::size_t>(i)]->title));
        insertItems(static_cast<int>(at), added);
        for (qsizetype i = 0; i < added.size(); ++i)
            shownTitles_.insert(at + i, added[i]);
    } else if (oldMiddle > newMiddle) {
        shown->removeRows(static_cast<int>(at), static_cast<int>(oldMiddle - newMiddle));
        shownTitles_.remove(at, oldMiddle - newMiddle);
    }
}

qsizetype VelmoraDarkPopUpPicker::longestShownTitle() const
{
    qsizetype longest = 0;
    for (const QString& title : shownTitles_)
        longest = std::max(longest, title.size());
    return longest;
}

void VelmoraDarkPopUpPicker::chooseSizing(bool many)
{
    // Sizing to the contents measures every row's text (a couple of microseconds a row): past a
    // few thousand rows the picker is sized by its longest title's length in characters instead,
    // chosen before the rows are, so that they are never measured. A policy the owner chose is
    // left alone.
    if (many && (sizedByLength_ || sizeAdjustPolicy() == QComboBox::AdjustToContents)) {
        setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
        sizedByLength_ = true;
    } else if (!many && sizedByLength_) {
        setMinimumContentsLength(0);
        setSizeAdjustPolicy(QComboBox::AdjustToContents);
        sizedByLength_ = false;
    }
}

} // namespace velmora
