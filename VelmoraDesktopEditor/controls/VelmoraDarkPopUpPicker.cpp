#include "controls/VelmoraDarkPopUpPicker.h"

#include <algorithm>

#include <QSignalBlocker>

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
    selection_ = std::move(selection);
    items_ = std::move(items);
    rebuild();
}

void VelmoraDarkPopUpPicker::setSelection(std::string selection)
{
    selection_ = std::move(selection);
    rebuild();
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
    for (const PopUpItem& item : items_) {
        // A repeated id keeps its first row: rows are looked up by id.
        if (item.isSectionHeader ||
            std::find(selectableTags_.begin(), selectableTags_.end(), item.id) != selectableTags_.end())
            continue;
        selectableTags_.push_back(item.id);
        addItem(toQString(item.title));
    }
    setCurrentIndex(rowForSelection(selectableTags_, selection_));
}

} // namespace velmora
