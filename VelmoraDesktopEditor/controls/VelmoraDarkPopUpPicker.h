#pragma once

#include <string>
#include <vector>

#include <QComboBox>

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

    // The bound selection and the rows; the rows are rebuilt from scratch when the items differ
    // from those shown (only the row shown moves otherwise, as with setSelection).
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
    void rebuild();
    void sizeForRows(const QStringList& titles);

    std::string selection_;
    std::vector<PopUpItem> items_;
    std::vector<std::string> selectableTags_;
    // Sized by the longest title's length rather than by measuring each row (a long list).
    bool sizedByLength_ = false;
};

} // namespace velmora
