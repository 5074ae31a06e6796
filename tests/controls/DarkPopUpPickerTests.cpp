#include <QSignalSpy>
#include <gtest/gtest.h>

#include "controls/VelmoraDarkPopUpPicker.h"
#include "grading/ClipGradeCatalog.h"

namespace velmora {
namespace {

using Item = VelmoraDarkPopUpPicker::PopUpItem;

std::vector<Item> lutItems()
{
    return {{"section-Camera", "Camera", true}, {"None", "None"}, {"dlog.cube", "D-Log"}, {"rec709.cube", "Rec709"}};
}

QStringList rowTitles(const VelmoraDarkPopUpPicker& picker)
{
    QStringList titles;
    for (int i = 0; i < picker.count(); ++i)
        titles << picker.itemText(i);
    return titles;
}

TEST(VelmoraDarkPopUpPicker, RowsSkipHeadersAndShowTheSelection)
{
    VelmoraDarkPopUpPicker picker;
    picker.setSelectionAndItems("rec709.cube", lutItems());
    EXPECT_EQ(rowTitles(picker), (QStringList{"None", "D-Log", "Rec709"}));
    EXPECT_EQ(picker.selectableTags(), (std::vector<std::string>{"None", "dlog.cube", "rec709.cube"}));
    EXPECT_EQ(picker.currentIndex(), 2);

    // Exact, case-sensitive.
    picker.setSelection("REC709.cube");
    EXPECT_EQ(picker.currentIndex(), 0);
}

// The rows stay while only the selection moves: a list of thousands of LUT names is not rebuilt
// by every selection of a clip.
TEST(VelmoraDarkPopUpPicker, TheSameItemsWithAnotherSelectionKeepTheRows)
{
    VelmoraDarkPopUpPicker picker;
    picker.setSelectionAndItems("dlog.cube", lutItems());
    QSignalSpy removed(picker.model(), &QAbstractItemModel::rowsRemoved);
    QSignalSpy inserted(picker.model(), &QAbstractItemModel::rowsInserted);
    picker.setSelectionAndItems("rec709.cube", lutItems());
    picker.setSelection("None");
    EXPECT_EQ(removed.count(), 0);
    EXPECT_EQ(inserted.count(), 0);
    EXPECT_EQ(picker.currentIndex(), 0);
    EXPECT_EQ(rowTitles(picker), (QStringList{"None", "D-Log", "Rec709"}));
}

// A new list reuses the rows shown: an entry added or taken away (a "(missing)" name) inserts or
// removes that row alone, and names that change are retitled in place; every list is shown row
// for row, with its selection.
TEST(VelmoraDarkPopUpPicker, ANewListReusesTheRowsShown)
{
    const auto items = [](const QStringList& titles) {
        std::vector<Item> made;
        for (const QString& title : titles)
            made.push_back({title.toStdString() + ".cube", title.toStdString()});
        return made;
    };
    VelmoraDarkPopUpPicker picker;
    picker.setSelectionAndItems("C.cube", items({"None", "A", "B", "C", "D"}));
    QSignalSpy removed(picker.model(), &QAbstractItemModel::rowsRemoved);
    QSignalSpy inserted(picker.model(), &QAbstractItemModel::rowsInserted);
    QSignalSpy retitled(picker.model(), &QAbstractItemModel::dataChanged);

    picker.setSelectionAndItems("Gone.cube", items({"None", "Gone", "A", "B", "C", "D"}));
    EXPECT_EQ(rowTitles(picker), (QStringList{"None", "Gone", "A", "B", "C", "D"}));
    EXPECT_EQ(picker.currentIndex(), 1);
    ASSERT_EQ(inserted.count(), 1);
    EXPECT_EQ(inserted[0][1].toInt(), 1); // first row
    EXPECT_EQ(inserted[0][2].toInt(), 1); // last row
    EXPECT_EQ(removed.count(), 0);
    EXPECT_EQ(retitled.count(), 0);

    picker.setSelectionAndItems("D.cube", items({"None", "A", "B", "C", "D"}));
    EXPECT_EQ(rowTitles(picker), (QStringList{"None", "A", "B", "C", "D"}));
    EXPECT_EQ(picker.currentIndex(), 4);
    ASSERT_EQ(removed.count(), 1);
    EXPECT_EQ(removed[0][1].toInt(), 1);
    EXPECT_EQ(removed[0][2].toInt(), 1);

    // Every name but the first changed and one more: four retitled in one change, one inserted.
    inserted.clear();
    removed.clear();
    picker.setSelectionAndItems("W.cube", items({"None", "W", "X", "Y", "Z", "ZZ"}));
    EXPECT_EQ(rowTitles(picker), (QStringList{"None", "W", "X", "Y", "Z", "ZZ"}));
    EXPECT_EQ(picker.currentIndex(), 1);
    ASSERT_EQ(retitled.count(), 1);
    EXPECT_EQ(retitled[0][0].toModelIndex().row(), 1);
    EXPECT_EQ(retitled[0][1].toModelIndex().row(), 4);
    EXPECT_EQ(inserted.count(), 1);
    EXPECT_EQ(removed.count(), 0);

    // Shorter, longer, empty and back.
    for (const QStringList& titles : {QStringList{"Z"}, QStringList{"None", "Q", "Z", "R"}, QStringList{},
                                      QStringList{"None", "A"}}) {
        picker.setSelectionAndItems("A.cube", items(titles));
        EXPECT_EQ(rowTitles(picker), titles);
        EXPECT_EQ(picker.currentIndex(), titles.isEmpty() ? -1 : static_cast<int>(titles.indexOf("A") < 0 ? 0 : titles.indexOf("A")));
    }
}

// Thousands of rows are not each measured for the picker's size: it is sized by the longest
// title's length, and by its rows again once the list is short; an owner's own policy stays.
TEST(VelmoraDarkPopUpPicker, AListOfThousandsIsSizedByItsLongestTitle)
{
    std::vector<Item> many;
    for (int i = 0; i < 3000; ++i)
        many.push_back({"look" + std::to_string(i) + ".cube", "look" + std::to_string(i) + ".cube"});
    many.push_back({"a-much-longer-name.cube", "a-much-longer-name.cube"});
    VelmoraDarkPopUpPicker picker;
    picker.setSelectionAndItems("None", many);
    EXPECT_EQ(picker.sizeAdjustPolicy(), QComboBox::AdjustToMinimumContentsLengthWithIcon);
    EXPECT_EQ(picker.minimumContentsLength(), 23);
    picker.setSelectionAndItems("None", lutItems());
    EXPECT_EQ(picker.sizeAdjustPolicy(), QComboBox::AdjustToContents);
    EXPECT_EQ(picker.minimumContentsLength(), 0);

    VelmoraDarkPopUpPicker owned;
    owned.setSizeAdjustPolicy(QComboBox::AdjustToContentsOnFirstShow);
    owned.setSelectionAndItems("None", many);
    EXPECT_EQ(owned.sizeAdjustPolicy(), QComboBox::AdjustToContentsOnFirstShow);
}

TEST(VelmoraDarkPopUpPicker, NoMatchShowsRowZeroWithoutWritingUntilChosen)
{
    VelmoraDarkPopUpPicker picker;
    QSignalSpy written(&picker, &VelmoraDarkPopUpPicker::selectionWritten);
    QSignalSpy changed(&picker, &VelmoraDarkPopUpPicker::changed);
    picker.setSelectionAndItems("missing.cube", lutItems());
    EXPECT_EQ(picker.currentIndex(), 0);
    EXPECT_EQ(picker.selection(), "missing.cube");
    EXPECT_EQ(written.count(), 0);

    // Choosing the row already shown is a change: the selection did not match it.
    emit picker.activated(0);
    ASSERT_EQ(written.count(), 1);
    EXPECT_EQ(written.at(0).at(0).toString(), "None");
    EXPECT_EQ(changed.count(), 1);
    EXPECT_EQ(picker.selection(), "None");
}

TEST(VelmoraDarkPopUpPicker, ChoosingTheSelectedRowOrOutOfRangeWritesNothing)
{
    VelmoraDarkPopUpPicker picker;
    picker.setSelectionAndItems("dlog.cube", lutItems());
    QSignalSpy written(&picker, &VelmoraDarkPopUpPicker::selectionWritten);
    QSignalSpy changed(&picker, &VelmoraDarkPopUpPicker::changed);
    picker.pickIndex(1);
    picker.pickIndex(-1);
    picker.pickIndex(3);
    EXPECT_EQ(written.count(), 0);
    EXPECT_EQ(changed.count(), 0);

    // Written first, then reported.
    std::vector<std::string> order;
    QObject::connect(&picker, &VelmoraDarkPopUpPicker::selectionWritten,
                     [&](const QString& id) { order.push_back("write " + id.toStdString()); });
    QObject::connect(&picker, &VelmoraDarkPopUpPicker::changed, [&] { order.push_back("changed"); });
    picker.pickIndex(2);
    EXPECT_EQ(order, (std::vector<std::string>{"write rec709.cube", "changed"}));
}

TEST(VelmoraDarkPopUpPicker, EmptyAndHeaderOnlyListsHaveNoRowsAndNoSelection)
{
    VelmoraDarkPopUpPicker picker;
    picker.setSelectionAndItems("x", {});
    EXPECT_EQ(picker.count(), 0);
    EXPECT_EQ(picker.currentIndex(), -1);
    picker.setSelectionAndItems("x", {{"section-A", "A", true}, {"section-B", "B", true}});
    EXPECT_EQ(picker.count(), 0);
    EXPECT_EQ(picker.currentIndex(), -1);
    EXPECT_EQ(VelmoraDarkPopUpPicker::rowForSelection({}, "x"), -1);
}

TEST(VelmoraDarkPopUpPicker, RepeatedIdsKeepTheirFirstRow)
{
    VelmoraDarkPopUpPicker picker;
    picker.setSelectionAndItems("a", {{"a", "First"}, {"b", "B"}, {"a", "Second"}});
    EXPECT_EQ(picker.selectableTags(), (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(rowTitles(picker), (QStringList{"First", "B"}));
}

TEST(VelmoraDarkPopUpPicker, MoodItemsStartWithNoneAndGroupUnderHeaders)
{
    const std::vector<Item> rows = VelmoraDarkPopUpPicker::moodItems();
    ASSERT_FALSE(rows.empty());
    EXPECT_EQ(rows.front(), (Item{"none", "None", false}));

    std::size_t optionCount = 0;
    std::size_t row = 1;
    for (const ClipGradeCatalog::MoodGroup& group : ClipGradeCatalog::moodGroups()) {
        ASSERT_LT(row, rows.size());
        EXPECT_EQ(rows[row], (Item{"section-" + group.label, group.label, true}));
        ++row;
        for (const ClipGradeCatalog::MoodOption& option : group.items) {
            ASSERT_LT(row, rows.size());
            EXPECT_EQ(rows[row], (Item{option.key, option.label, false}));
            ++row;
            ++optionCount;
        }
    }
    EXPECT_EQ(row, rows.size());
    EXPECT_EQ(optionCount, 46u);

    // Headers are never offered.
    VelmoraDarkPopUpPicker picker;
    picker.setSelectionAndItems("none", rows);
    EXPECT_EQ(picker.count(), 47);
    EXPECT_EQ(picker.findText("Cameras"), -1);
}

} // namespace
} // namespace velmora
