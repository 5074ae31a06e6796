#include "controls/VelmoraDarkPopUpPicker.h"

#include <algorithm>
#include <string_view>
#include <unordered_set>

#include <QSignalBlocker>
#include <QStringList>

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
    clear();
    selectableTags_.clear();
    // Lists run to tens of thousands of LUT names: repeats are found by hash and the rows handed
    // to the list in one insertion, so a rebuild stays linear.
    std::unordered_set<std::string_view> seen;
    seen.reserve(items_.size());
    QStringList titles;
    titles.reserve(static_cast<qsizetype>(items_.size()));
    for (const PopUpItem& item : items_) {
        // A repeated id keeps its first row: rows are looked up by id.
        if (item.isSectionHeader || !seen.insert(item.id).second)
            continue;
        selectableTags_.push_back(item.id);
        titles.push_back(toQString(item.title));
    }
    sizeForRows(titles);
    addItems(titles);
    setCurrentIndex(rowForSelection(selectableTags_, selection_));
}

void VelmoraDarkPopUpPicker::sizeForRows(const QStringList& titles)
{
    // Sizing to the contents measures every row's text (a couple of microseconds a row): past a
    // few thousand rows the picker is sized by its longest title's length in characters instead.
    // A policy the owner chose is left alone.
    constexpr qsizetype kMeasuredRows = 2000;
    constexpr qsizetype kWidestTitle = 64;
    const bool many = titles.size() > kMeasuredRows;
    if (many && (sizedByLength_ || sizeAdjustPolicy() == QComboBox::AdjustToContents)) {
        qsizetype longest = 0;
        for (const QString& title : titles)
            longest = std::max(longest, title.size());
        setMinimumContentsLength(static_cast<int>(std::min(longest, kWidestTitle)));
        setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
        sizedByLength_ = true;
    } else if (!many && sizedByLength_) {
        setMinimumContentsLength(0);
        setSizeAdjustPolicy(QComboBox::AdjustToContents);
        sizedByLength_ = false;
    }
}

} // namespace velmora
