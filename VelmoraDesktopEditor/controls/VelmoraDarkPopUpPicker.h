#pragma once

#include <string>
#include <vector>

#include <QComboBox>
#include <QStringList>

namespace velmora {

// The application's choice list on dark panels (clip LUT, source viewer LUT, grade inspector
// LUT and mood): a pop-up button bound to a text selection, the id of the chosen row. Header
// rows are not offered. A selection that matches no row shows the first row without changing
// the selection; the user's choice writes the chosen id (`selectionWritten`) and then reports
// the change (`changed`), unless the row chosen is already the selection. Main thread only.
class VelmoraDarkPopUpPicker final : public QComboBox {
    Q_OBJECT
public:
    struct PopUpItem {
        std::string id;    // written to the selection when the row is chosen
        std::string title; // shown
        bool isSectionHeader = false;

        bool operator==(const PopUpItem&) const = default;
    };

    explicit VelmoraDarkPopUpPicker(QWidget* parent = nullptr);

    // The bound selection and the rows; when the items differ from those shown the rows are
    // brought to them in place, the unchanged ones kept and the others retitled, inserted or
    // removed (only the row shown moves otherwise, as with setSelection).
    void setSelectionAndItems(std::string selection, std::vector<PopUpItem> items);
    void setSelection(std::string selection);
    const std::string& selection() const { return selection_; }
    const std::vector<PopUpItem>& items() const { return items_; }
    // The ids of the rows that can be chosen (not headers; a repeated id keeps its first row),
    // in row order: row i stands for entry i.
    const std::vector<std::string>& selectableTags() const { return selectableTags_; }

    // The user chose row `index`: nothing when it is out of range or already the selection.
    void pickIndex(int index);

    // The row to show for `selection` (exact, case-sensitive): its row, else 0, else -1 when
    // there are no rows.
    static int rowForSelection(const std::vector<std::string>& tags, const std::string& selection);
    // "None" (id "none"), then each mood group of the grade catalogue as a header row (id
    // "section-" + label) followed by its options (id the option's key, title its label).
    static std::vector<PopUpItem> moodItems();

    // Emits popUpAboutToShow first, so that the owner can rebuild the rows from what is on
    // offer now, then opens the list.
    void showPopup() override;

signals:
    void selectionWritten(const QString& id);
    void changed();
    void popUpAboutToShow();

private:
    // Past this many rows the picker is sized by its longest title's length (at most this many
    // characters) instead of by measuring each row.
    static constexpr qsizetype kMeasuredRows = 2000;
    static constexpr qsizetype kWidestTitle = 64;

    void rebuild();
    // The items that make rows: no headers, a repeated id's first item alone, in order.
    static std::vector<const PopUpItem*> distinctRows(const std::vector<PopUpItem>& items);
    // Makes the rows show the titles of `rows`, reusing the rows there.
    void showRows(const std::vector<const PopUpItem*>& rows);
    void chooseSizing(bool many);
    qsizetype longestShownTitle() const;

    std::string selection_;
    std::vector<PopUpItem> items_;
    std::vector<std::string> selectableTags_;
    // The rows' titles as shown, row for row (sharing their text with the rows').
    QStringList shownTitles_;
    // Sized by the longest title's length rather than by measuring each row (a long list).
    bool sizedByLength_ = false;
};

} // namespace velmora
