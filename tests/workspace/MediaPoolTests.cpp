#include <QBuffer>
#include <QImage>
#include <QAction>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>
#include <QToolButton>
#include <gtest/gtest.h>

#include "EditorWorkspaceTestSupport.h"
#include "workspace/pool/MediaPoolGrid.h"
#include "workspace/pool/MediaPoolView.h"

namespace velmora {
namespace {

using test::WorkspaceHarness;
using Card = EditorWorkspaceController::MediaPoolCard;

std::vector<std::uint8_t> jpegPicture()
{
    QImage image(32, 18, QImage::Format_RGB888);
    image.fill(Qt::red);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPEG");
    return {bytes.begin(), bytes.end()};
}

std::vector<std::uint8_t> jpegOfSize(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB888);
    image.fill(Qt::blue);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPEG");
    return {bytes.begin(), bytes.end()};
}

std::vector<std::string> selectedIds(const std::vector<Card>& cards)
{
    std::vector<std::string> ids;
    for (const Card& card : cards) {
        if (card.selected)
            ids.push_back(card.sourceId);
    }
    return ids;
}

TEST(MediaPool, CardsShowTheSourcesSymbolsDetailsAndSelection)
{
    WorkspaceHarness h;
    EditorWorkspaceController& w = h.workspace();
    EXPECT_TRUE(w.mediaPoolCards().empty());
    EXPECT_FALSE(w.importHintShown()); // no project, no banner

    h.open(test::writeProject(h.folders.scratch()));
    std::vector<EditSession::Source>& sources = h.session().sources;
    sources[0].width = 1920;
    sources[0].height = 1080;
    sources[0].framerate = 30000.0 / 1001.0;
    sources[1].width = 1920;
    sources[1].height = 1080;
    sources[2].width = 640; // no height: no detail line, whatever the rate
    sources[2].framerate = 25;
    sources.emplace_back("capital", "Clip.mov", "Video");
    sources.emplace_back("untyped", "Other.mov");
    const std::vector<Card> cards = w.mediaPoolCards();
    ASSERT_EQ(cards.size(), 5u);
    EXPECT_EQ(cards[0].detail, "1920×1080 · 29.97 fps");
    EXPECT_EQ(cards[1].detail, "1920×1080");
    EXPECT_EQ(cards[2].detail, "");
    std::vector<std::string> symbols;
    for (const Card& card : cards)
        symbols.push_back(card.placeholderSymbol);
    EXPECT_EQ(symbols, (std::vector<std::string>{"video", "photo", "speaker.wave.2", "speaker.wave.2", "speaker.wave.2"}));
    EXPECT_TRUE(selectedIds(cards).empty());

    // A selected timeline clip highlights its source; a card selected in the pool takes over.
    h.engine().selectClip("a1", false);
    EXPECT_EQ(selectedIds(w.mediaPoolCards()), std::vector<std::string>{"src-video"});
    w.selectPoolSource("src-still");
    EXPECT_FALSE(h.engine().selectedClipId());
    EXPECT_EQ(selectedIds(w.mediaPoolCards()), std::vector<std::string>{"src-still"});
    h.engine().selectClip("music", false);
    EXPECT_FALSE(w.selectedSourceId());
    EXPECT_EQ(selectedIds(w.mediaPoolCards()), std::vector<std::string>{"src-music"});
}

// A source whose file cannot be read says why on its card, as the preview's build found it; a
// refresh reads what was kept and never the media folder, even once the folder is gone.
TEST(MediaPool, ACardOfAnUnreadableFileSaysWhy)
{
    WorkspaceHarness h(WorkspaceHarness::Options{.fakePlayer = true});
    EditorWorkspaceController& w = h.workspace();
    const test::GeneratedProject project = test::writeProject(h.folders.scratch());
    h.open(project);
    std::vector<EditSession::Source>& sources = h.session().sources;
    sources[0].width = 1920;
    sources[0].height = 1080;
    h.engine().reloadComposition(std::nullopt);
    PreviewComposition built;
    built.unreadableSources = {{sources[2].id, "Permission denied"}};
    h.builder->finish(9, built);
    h.queue->runUntilIdle();
    std::filesystem::remove_all(project.media);

    std::vector<std::string> details;
    for (const Card& card : w.mediaPoolCards())
        details.push_back(card.detail);
    EXPECT_EQ(details, (std::vector<std::string>{"1920×1080", "", "Permission denied"}));
}

// A poster picture is stored once: the pool's cards and the preview build's copy of the session
// read the source's own bytes. Cards kept are brought up to date in place, reporting a change only
// when there is one.
TEST(MediaPool, CardsAndThePreviewsCopyShareTheSourcesPictureBytes)
{
    WorkspaceHarness h({WorkspaceHarness::Views::none, true});
    h.open(test::writeProject(h.folders.scratch()));
    h.session().sources[0].thumbnailData = SharedBytes(jpegPicture());
    const std::uint8_t* stored = (*h.session().sources[0].thumbnailData)->data();

    std::vector<Card> cards = h.workspace().mediaPoolCards();
    EXPECT_EQ((*cards[0].thumbnailData)->data(), stored);
    h.engine().reloadComposition(std::nullopt);
    EXPECT_EQ((*h.builder->requests.back().session->sources[0].thumbnailData)->data(), stored);

    EXPECT_FALSE(h.workspace().refreshMediaPoolCards(cards));
    h.workspace().selectPoolSource("src-music");
    EXPECT_TRUE(h.workspace().refreshMediaPoolCards(cards));
    EXPECT_EQ(cards, h.workspace().mediaPoolCards());
}

TEST(MediaPool, TheGridDrawsPicturesAndAnswersClicks)
{
    WorkspaceHarness h;
    EditorWorkspaceController& w = h.workspace();
    h.open(test::writeProject(h.folders.scratch()));
    h.session().sources[0].thumbnailData = SharedBytes(jpegPicture());
    h.session().sources[1].thumbnailData = SharedBytes({1, 2, 3}); // not a picture
    std::vector<std::string> opened;
    QObject::connect(&w, &EditorWorkspaceController::sourceViewerRequested,
                     [&](const SourceViewerWindowArguments& arguments) { opened.push_back(arguments.source.id); });

    MediaPoolView pool(w);
    pool.resize(250, 600);
    pool.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&pool));
    MediaPoolGrid& grid = *pool.grid();
    ASSERT_EQ(grid.cards().size(), 3u);
    // Pictures are decoded off the main thread: both pictures' data answered.
    EXPECT_TRUE(QTest::qWaitFor([&] { return grid.decodedPictureCount() == 2; }));
    EXPECT_TRUE(grid.showsPicture(0));
    EXPECT_FALSE(grid.showsPicture(1));
    EXPECT_FALSE(grid.showsPicture(2));
    // One column at the pool's usual width, two at its widest.
    EXPECT_EQ(MediaPoolGrid::columnCount(grid.width()), 1);
    EXPECT_EQ(MediaPoolGrid::columnCount(400), 2);

    QTest::mouseClick(&grid, Qt::LeftButton, {}, grid.cardRect(1).center());
    EXPECT_EQ(w.selectedSourceId(), "src-still");
    EXPECT_TRUE(grid.cards()[1].selected);
    EXPECT_TRUE(opened.empty());
    // A double click selects first, then opens.
    QTest::mouseDClick(&grid, Qt::LeftButton, {}, grid.cardRect(2).center());
    EXPECT_EQ(w.selectedSourceId(), "src-music");
    EXPECT_EQ(opened, std::vector<std::string>{"src-music"});

    QTest::mouseClick(pool.importButton(), Qt::LeftButton);
    EXPECT_EQ(h.panels->current().kind, FilePanelRequest::Kind::openFiles);
    QTest::mouseClick(pool.closeButton(), Qt::LeftButton);
    EXPECT_FALSE(w.showMediaPool());
}

// Pictures are decoded at the size their cards draw, only for cards in view, and a bounded
// number of them is kept however far the pool is scrolled.
TEST(MediaPool, TheGridDecodesOnlyTheCardsInViewAtTheirSizeAndKeepsABoundedNumber)
{
    EXPECT_EQ(PosterPictureDecoder::decode(jpegOfSize(640, 360), QSize(160, 90)).size(), QSize(160, 90));
    EXPECT_EQ(PosterPictureDecoder::decode(jpegOfSize(400, 100), QSize(160, 90)).size(), QSize(360, 90));
    EXPECT_EQ(PosterPictureDecoder::decode(jpegOfSize(32, 18), QSize(160, 90)).size(), QSize(32, 18)); // never enlarged

    WorkspaceHarness h;
    h.open(test::writeProject(h.folders.scratch()));
    std::vector<EditSession::Source>& sources = h.session().sources;
    sources.clear();
    const std::vector<std::uint8_t> picture = jpegOfSize(320, 180);
    for (int i = 0; i < 300; ++i) {
        sources.emplace_back("s" + std::to_string(i), "Clip" + std::to_string(i) + ".mp4", "video");
        sources.back().thumbnailData = SharedBytes(picture);
    }
    MediaPoolView pool(h.workspace());
    pool.resize(250, 400);
    pool.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&pool));
    MediaPoolGrid& grid = *pool.grid();
    auto* scroll = pool.findChild<QScrollArea*>();
    ASSERT_NE(scroll, nullptr);

    // One column: the cards the viewport meets are decoded, no others.
    auto inView = [&] {
        const QRect visible(0, scroll->verticalScrollBar()->value(), grid.width(), scroll->viewport()->height());
        std::vector<int> cards;
        for (int i = 0; i < 300; ++i) {
            if (grid.cardRect(i).intersects(visible))
                cards.push_back(i);
        }
        return cards;
    };
    auto allShown = [&](const std::vector<int>& cards) {
        return std::all_of(cards.begin(), cards.end(), [&](int i) { return grid.showsPicture(i); });
    };
    const std::vector<int> first = inView();
    ASSERT_EQ(first.front(), 0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return allShown(first); }));
    EXPECT_EQ(grid.decodedPictureCount(), first.size());
    EXPECT_FALSE(grid.showsPicture(first.back() + 1));

    // Scrolled through to the end, a view at a time.
    while (scroll->verticalScrollBar()->value() < scroll->verticalScrollBar()->maximum()) {
        scroll->verticalScrollBar()->setValue(scroll->verticalScrollBar()->value() + scroll->viewport()->height());
        const std::vector<int> shown = inView();
        ASSERT_TRUE(QTest::qWaitFor([&] { return allShown(shown); })) << shown.front();
        EXPECT_LE(grid.decodedPictureCount(), MediaPoolGrid::keptPictures);
    }
    EXPECT_TRUE(grid.showsPicture(299));
    EXPECT_FALSE(grid.showsPicture(0));
    EXPECT_EQ(grid.decodedPictureCount(), MediaPoolGrid::keptPictures);
}

} // namespace
} // namespace velmora
