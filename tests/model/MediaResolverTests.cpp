#include <gtest/gtest.h>

#include <cstdlib>
#include <unistd.h>
#include <fstream>
#include <functional>

#include "model/EditSession.h"
#include "model/MediaResolver.h"
#include "model/NameMatching.h"
#include "platform/foundation/Error.h"
#include "support/MediaFixtures.h"
#include "support/TestSupport.h"

namespace velmora {
namespace {

namespace fs = std::filesystem;
using MediaResolver::detail::fuzzyMatch;
using MediaResolver::detail::resolveName;
using test::TempDir;

// An empty file: the resolver decides by names and file kinds, not contents.
void touch(const fs::path& path)
{
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << "";
}

std::vector<std::string> relativeNames(const std::vector<fs::path>& files, const fs::path& root)
{
    std::vector<std::string> names;
    for (const auto& file : files) {
        names.push_back(file.lexically_relative(root).string());
    }
    return names;
}

std::vector<fs::path> paths(const fs::path& folder, const std::vector<std::string>& names)
{
    std::vector<fs::path> files;
    for (const auto& name : names) {
        files.push_back(folder / name);
    }
    return files;
}

EditSession::Clip clip(const std::string& id, const std::string& sourceId, const std::string& name,
                       std::optional<std::string> type = std::nullopt)
{
    EditSession::Clip c(id);
    c.sourceId = sourceId;
    c.name = name;
    c.type = std::move(type);
    return c;
}

EditSession sessionWith(std::vector<EditSession::Source> sources, std::vector<EditSession::Clip> clips = {},
                        bool withTimeline = true)
{
    EditSession session;
    session.sources = std::move(sources);
    if (withTimeline) {
        EditSession::Timeline timeline;
        timeline.id = "t1";
        timeline.clips = std::move(clips);
        session.timelines.push_back(timeline);
    }
    return session;
}

fs::path mapped(const MediaResolver::SourceFileMap& map, const std::string& id)
{
    const auto it = map.find(id);
    return it == map.end() ? fs::path() : it->second.filename();
}

// ---- listing ----

TEST(MediaListing, WalksNestedFoldersInNameOrderKeepingOnlyMediaFiles)
{
    TempDir dir;
    touch(dir / "b.mp4");
    touch(dir / "A.MOV");
    touch(dir / "notes.txt");
    touch(dir / "sub" / "deep" / "voice.WAV");
    touch(dir / "sub" / "still.jpeg");
    touch(dir / "z.mkv");
    EXPECT_EQ(relativeNames(listMediaFiles(dir.path()), dir.path()),
              (std::vector<std::string>{"A.MOV", "b.mp4", "sub/deep/voice.WAV", "sub/still.jpeg", "z.mkv"}));
}

TEST(MediaListing, RecognisesExactlyTheEighteenExtensionsInAnyCase)
{
    TempDir dir;
    const std::vector<std::string> media = {"1.mp4", "2.MOV", "3.m4v", "4.mxf", "5.avi", "6.mkv", "7.wav", "8.aac",
                                            "9.m4a", "a.mp3", "b.jpg", "c.JPEG", "d.png", "e.tiff", "f.tif", "g.heic",
                                            "h.heif", "i.bmp"};
    for (const auto& name : media) {
        touch(dir / name);
    }
    for (const auto& name : {"j.webm", "k.gif", "l.cube", "m.mp4.part", "mp4"}) {
        touch(dir / name);
    }
    EXPECT_EQ(relativeNames(listMediaFiles(dir.path()), dir.path()), media);
}

TEST(MediaListing, SkipsHiddenEntriesFoldersNamedLikeMoviesAndLinksToFolders)
{
    TempDir dir;
    touch(dir / "clip.mp4");
    touch(dir / ".hidden.mp4");
    touch(dir / ".cache" / "inside.mp4");
    fs::create_directories(dir / "Roll.mov");
    touch(dir / "Roll.mov" / "take.mp4");
    TempDir outside;
    touch(outside / "elsewhere.mp4");
    fs::create_directory_symlink(outside.path(), dir / "linked-folder");
    fs::create_symlink(outside / "elsewhere.mp4", dir / "linked.mp4");
    fs::create_symlink(dir / "missing.mp4", dir / "dangling.mp4");
    fs::create_directory_symlink(dir.path(), dir / "loop");

    EXPECT_EQ(relativeNames(listMediaFiles(dir.path()), dir.path()),
              (std::vector<std::string>{"Roll.mov/take.mp4", "clip.mp4", "linked.mp4"}));
}

TEST(MediaListing, FallsBackToTheDirectContentsHiddenFilesIncludedWhenTheWalkFindsNothing)
{
    TempDir dir;
    touch(dir / ".only.mp4");
    touch(dir / ".cache" / "deeper.mp4");
    EXPECT_EQ(relativeNames(listMediaFiles(dir.path()), dir.path()), std::vector<std::string>{".only.mp4"});
}

TEST(MediaListing, AnEmptyFolderListsNothingAndAMissingOneThrowsTheFileSystemError)
{
    TempDir dir;
    EXPECT_TRUE(listMediaFiles(dir.path()).empty());
    try {
        listMediaFiles(dir / "missing");
        FAIL() << "listed a missing folder";
    } catch (const Error& error) {
        EXPECT_EQ(error.domain(), "file");
        EXPECT_EQ(error.code(), ENOENT);
    }
}

// Whether a folder holds media is answered as the listing would, stopping at the first file.
TEST(MediaListing, AFolderHoldsMediaWhereTheListingFindsSome)
{
    TempDir dir;
    EXPECT_FALSE(MediaResolver::detail::holdsMediaFile(dir.path()));
    touch(dir / "notes.txt");
    touch(dir / ".cache" / "deeper.mp4");
    EXPECT_FALSE(MediaResolver::detail::holdsMediaFile(dir.path()));
    touch(dir / ".only.mp4");
    EXPECT_TRUE(MediaResolver::detail::holdsMediaFile(dir.path()));
    touch(dir / "sub" / "deep" / "voice.WAV");
    EXPECT_TRUE(MediaResolver::detail::holdsMediaFile(dir / "sub"));
    EXPECT_FALSE(MediaResolver::detail::holdsMediaFile(dir / "missing"));
}

TEST(MediaListing, StandardizesTheFolderPath)
{
    TempDir dir;
    touch(dir / "media" / "clip.mp4");
    const auto files = listMediaFiles(dir.path() / "media" / "." / ".." / "media" / "");
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(files[0], dir.path() / "media" / "clip.mp4");
}

TEST(MediaListing, SkipsFoldersItCannotRead)
{
    if (::geteuid() == 0) {
        GTEST_SKIP() << "permissions do not bind the superuser";
    }
    TempDir dir;
    touch(dir / "a.mp4");
    touch(dir / "locked" / "b.mp4");
    fs::permissions(dir / "locked", fs::perms::none);
    EXPECT_EQ(relativeNames(listMediaFiles(dir.path()), dir.path()), std::vector<std::string>{"a.mp4"});
}

TEST(MediaListing, UnreadableReasonIsTheSystemsOwnText)
{
    TempDir dir;
    touch(dir / "a.mp4");
    EXPECT_EQ(MediaResolver::unreadableReason(dir / "a.mp4"), std::nullopt);
    EXPECT_EQ(MediaResolver::unreadableReason(dir / "gone.mp4"), "No such file or directory");
    if (::geteuid() == 0) {
        GTEST_SKIP() << "permissions do not bind the superuser";
    }
    fs::permissions(dir / "a.mp4", fs::perms::none);
    EXPECT_EQ(MediaResolver::unreadableReason(dir / "a.mp4"), "Permission denied");
}

// ---- name rules ----

TEST(NameKey, KeepsLowerCasedLettersAndDigitsOfAnyScriptWithoutTheAudioSuffix)
{
    EXPECT_EQ(NameMatching::nameKey("DJI_0042.MP4"), U"dji0042mp4");
    EXPECT_EQ(NameMatching::nameKey("Take 1 (Audio) (AUDIO).wav"), U"take1wav");
    EXPECT_EQ(NameMatching::nameKey("Ça_va-Ω 7.mov"), U"çavaω7mov");
    EXPECT_EQ(NameMatching::nameKey("Cafe\xcc\x81.mp4"), U"caf\u00e9mp4");
    EXPECT_TRUE(NameMatching::containsIgnoringCase("Beach_TAKE5.mov", "take5"));
    EXPECT_TRUE(NameMatching::containsIgnoringCase("ÉTÉ_Take.mov", "été"));
    EXPECT_FALSE(NameMatching::containsIgnoringCase("anything", ""));
}

// ---- one name ----

TEST(ResolveName, TrimsTheNameAndRemovesTheAudioSuffixInAnyCase)
{
    const auto files = paths("/m", {"other.mov", "DJI_0042.MP4"});
    EXPECT_EQ(resolveName(" DJI_0042.MP4 ", files, {}, false), fs::path("/m/DJI_0042.MP4"));
    EXPECT_EQ(resolveName("DJI_0042.MP4 (Audio)", files, {}, false), fs::path("/m/DJI_0042.MP4"));
    EXPECT_EQ(resolveName("DJI_0042.MP4 (AUDIO)", files, {}, true), fs::path("/m/DJI_0042.MP4"));
    EXPECT_EQ(resolveName("  \n", files, {}, false), std::nullopt);
}

TEST(ResolveName, IgnoresLetterCaseAlsoForExactOnlyLookups)
{
    const auto files = paths("/m", {"DJI_0042.MP4"});
    EXPECT_EQ(resolveName("dji_0042.mp4", files, {}, false), fs::path("/m/DJI_0042.MP4"));
    EXPECT_EQ(resolveName("dji_0042.mp4", files, {}, true), fs::path("/m/DJI_0042.MP4"));
}

TEST(ResolveName, MatchesComposedAndDecomposedAccentsAndNonLatinCase)
{
    const std::string decomposed = "Cafe\xcc\x81_Take.mp4"; // e + combining acute
    const auto files = paths("/m", {decomposed, "ΣΚΗΝΗ_1.mov"});
    EXPECT_EQ(resolveName("Caf\xc3\xa9_Take.mp4", files, {}, true), fs::path("/m") / decomposed);
    EXPECT_EQ(resolveName("CAFÉ_TAKE.MP4", files, {}, true), fs::path("/m") / decomposed);
    EXPECT_EQ(resolveName("σκηνη_1.MOV", files, {}, true), fs::path("/m/ΣΚΗΝΗ_1.mov"));
}

TEST(ResolveName, TheFirstFileInFolderOrderWinsWhicheverSpellingItHas)
{
    // The Kelvin sign is canonically the letter K: the earlier file wins over the plain one,
    // and of two plain names the first listed.
    const std::string kelvin = "\xe2\x84\xaaodak.mp4";
    EXPECT_EQ(resolveName("Kodak.mp4", paths("/m", {kelvin, "Kodak.mp4"}), {}, true), fs::path("/m") / kelvin);
    EXPECT_EQ(resolveName("Kodak.mp4", paths("/m", {"Kodak.mp4", kelvin}), {}, true), fs::path("/m/Kodak.mp4"));
    EXPECT_EQ(resolveName("Kodak.mp4", paths("/m", {"Kodak.mp4", "sub/Kodak.mp4"}), {}, true),
              fs::path("/m/Kodak.mp4"));
}

TEST(ResolveName, AddsAVideoExtensionToABareNamePreferringMp4)
{
    const auto files = paths("/m", {"DJI_0042.mov", "DJI_0042.MP4"});
    EXPECT_EQ(resolveName("DJI_0042", files, {}, false), fs::path("/m/DJI_0042.MP4"));
    EXPECT_EQ(resolveName("DJI_0042", files, {}, true), std::nullopt);
    EXPECT_EQ(resolveName("DJI_0042", paths("/m", {"DJI_0042.mov"}), {}, false), fs::path("/m/DJI_0042.mov"));
}

TEST(ResolveName, AUsedFirstMatchEndsTheLookupWithoutTryingLaterSteps)
{
    const auto files = paths("/m", {"clip.mp4", "clip_copy.mp4"});
    EXPECT_EQ(resolveName("clip.mp4", files, {fs::path("/m/clip.mp4")}, false), std::nullopt);
    EXPECT_EQ(resolveName("clip", files, {fs::path("/m/clip.mp4")}, false), std::nullopt);
}

TEST(ResolveName, ContainmentNeedsFourCharactersAndSkipsUsedFiles)
{
    const auto files = paths("/m", {"XA01Y.mp4", "Beach_Take5_final.mov", "Take5_alt.mov"});
    EXPECT_EQ(resolveName("A01", files, {}, false), std::nullopt);
    EXPECT_EQ(resolveName("Take5", files, {}, false), fs::path("/m/Beach_Take5_final.mov"));
    EXPECT_EQ(resolveName("Take5", files, {fs::path("/m/Beach_Take5_final.mov")}, false), fs::path("/m/Take5_alt.mov"));
    // The other direction: a file's name without extension inside the wanted name.
    EXPECT_EQ(resolveName("Interview_cam_A.braw", paths("/m", {"Interview.mp4"}), {}, false),
              fs::path("/m/Interview.mp4"));
}

TEST(FuzzyMatch, NeedsEightLettersOrDigitsAndAcceptsAScoreOfZero)
{
    EXPECT_EQ(fuzzyMatch("GX010042", paths("/m", {"GX010042.MP4"}), {}), fs::path("/m/GX010042.MP4"));
    EXPECT_EQ(fuzzyMatch("GX-0042", paths("/m", {"GX-0042.MP4"}), {}), std::nullopt);
    EXPECT_EQ(fuzzyMatch("GX010042", paths("/m", {"GX010042.MP4"}), {fs::path("/m/GX010042.MP4")}), std::nullopt);
}

TEST(FuzzyMatch, AnEqualKeyWinsAtOnceAndTiesKeepTheEarlierFile)
{
    EXPECT_EQ(fuzzyMatch("Holiday Clip 0042.mp4", paths("/m", {"dayclip0042mp4_v2.mp4", "holiday-clip-0042.MP4"}), {}),
              fs::path("/m/holiday-clip-0042.MP4"));
    EXPECT_EQ(fuzzyMatch("clip_20240101_001", paths("/m", {"A_clip_20240101_001_x.mp4", "B_clip_20240101_001_y.mp4"}), {}),
              fs::path("/m/A_clip_20240101_001_x.mp4"));
}

TEST(FuzzyMatch, ScoresByTheLengthOfTheCommonEnding)
{
    // Both contain the tail "dayclip0042mp4"; the second ends like the wanted key for longer.
    EXPECT_EQ(fuzzyMatch("holiday_clip_0042.mp4", paths("/m", {"dayclip0042mp4 x9.mp4", "dayclip0042mp4 v2.mp4"}), {}),
              fs::path("/m/dayclip0042mp4 v2.mp4"));
}

// ---- the source map ----

TEST(SourceFileMap, AMissingFolderOrAFileFailsWithCode12)
{
    TempDir dir;
    touch(dir / "file.mp4");
    for (const auto& folder : {dir / "edit1", dir / "file.mp4"}) {
        try {
            MediaResolver::sourceFileMap(sessionWith({}), folder);
            FAIL() << "accepted " << folder;
        } catch (const Error& error) {
            EXPECT_EQ(error.domain(), "preview");
            EXPECT_EQ(error.code(), 12);
            if (folder.filename() == "edit1") {
                EXPECT_EQ(error.localizedDescription(),
                          "Media folder not found (“edit1”). Click **Media Folder…** and pick the folder with your "
                          "MP4 files — not a browser label like “edit1”.");
            }
        }
    }
}

TEST(SourceFileMap, AFolderWithoutMediaFailsWithCode11)
{
    TempDir dir;
    fs::create_directory(dir / "Shoot");
    touch(dir / "Shoot" / "readme.txt");
    try {
        MediaResolver::sourceFileMap(sessionWith({}), dir / "Shoot");
        FAIL() << "accepted a folder without media";
    } catch (const Error& error) {
        EXPECT_EQ(error.domain(), "preview");
        EXPECT_EQ(error.code(), 11);
        EXPECT_EQ(error.localizedDescription(),
                  "No video/audio files in “Shoot”. Choose the folder that contains your DJI MP4 files.");
    }
}

TEST(SourceFileMap, HandsUnmatchedSourcesTheRemainingVideoFilesInNameOrder)
{
    TempDir dir;
    touch(dir / "b.mp4");
    touch(dir / "A.mov");
    touch(dir / "c.txt");
    const EditSession session = sessionWith({{"x1", "x1"}, {"x2", "x2"}, {"x3", "x3"}}, {}, false);
    const auto map = MediaResolver::sourceFileMap(session, dir.path());
    EXPECT_EQ(mapped(map, "x1"), "A.mov");
    EXPECT_EQ(mapped(map, "x2"), "b.mp4");
    EXPECT_EQ(map.count("x3"), 0u);
    // Files placed by order are stand-ins: the relink alert still names their sources.
    EXPECT_EQ(MediaResolver::unresolvedSourceLabels(session, dir.path()), (std::vector<std::string>{"x1", "x2", "x3"}));
}

TEST(SourceFileMap, FindsNestedFilesByNameAndGivesEachFileToOneSource)
{
    TempDir dir;
    touch(dir / "day1" / "DJI_0001.MP4");
    touch(dir / "day2" / "DJI_0002.MP4");
    touch(dir / "music" / "song.mp3");
    const EditSession session =
        sessionWith({{"s1", "dji_0002.mp4"}, {"s2", "song.mp3"}, {"s3", "DJI_0002.MP4"}, {"s4", "missing.wav"}});
    const auto map = MediaResolver::sourceFileMap(session, dir.path());
    EXPECT_EQ(map.at("s1"), dir / "day2" / "DJI_0002.MP4");
    EXPECT_EQ(map.at("s2"), dir / "music" / "song.mp3");
    // The only file of that name is s1's too: s3 reads it as well, never a stand-in.
    EXPECT_EQ(map.at("s3"), dir / "day2" / "DJI_0002.MP4");
    EXPECT_EQ(map.count("s4"), 0u);
}

TEST(SourceFileMap, UsesClipNamesWhenTheSourceFileNameFindsNothing)
{
    TempDir dir;
    touch(dir / "Beach_Drone.MP4");
    touch(dir / "Voice.wav");
    const EditSession session = sessionWith({{"s1", "media.mov"}},
                                            {clip("c1", "s1", "Beach_Drone.MP4 (Audio)", "audio"),
                                             clip("c2", "s9", "voice.WAV")});
    const auto map = MediaResolver::sourceFileMap(session, dir.path());
    EXPECT_EQ(mapped(map, "s1"), "Beach_Drone.MP4");
    // A clip whose source id names no source still gets an entry under that id.
    EXPECT_EQ(mapped(map, "s9"), "Voice.wav");
}

TEST(SourceFileMap, ABrowserExportMatchesFileNamesExactlyAndAssignsNothingElse)
{
    TempDir dir;
    touch(dir / "DJI_0042.MP4");
    touch(dir / "DJI_0043.MP4");
    EditSession session = sessionWith({{"s1", "dji_0042.mp4"}, {"s2", "DJI_0043"}}, {clip("c2", "s2", "DJI_0043.MP4")});
    session.tool = "velmora-editor-desktop-export";
    const auto map = MediaResolver::sourceFileMap(session, dir.path());
    EXPECT_EQ(mapped(map, "s1"), "DJI_0042.MP4");
    EXPECT_EQ(map.count("s2"), 0u);

    session.tool = std::nullopt;
    EXPECT_EQ(mapped(MediaResolver::sourceFileMap(session, dir.path()), "s2"), "DJI_0043.MP4");
}

// A missing movie may be shown by another movie, never a sound file or a still by a movie; every
// source shown by a file of another name is named, and listed as missing.
TEST(SourceFileMap, StandInsKeepTheirKindAndAreNamed)
{
    TempDir dir;
    touch(dir / "g23976.mp4");
    touch(dir / "voice.wav.mp4");
    touch(dir / "DJI_0002.MP4");
    const EditSession session = sessionWith({{"m", "g25.mp4"}, {"v", "voice.wav"}, {"p", "title.png"}, {"d", "dji_0002.mp4"}},
                                            {clip("c1", "m", "g25.mp4"), clip("c2", "v", "voice.wav", "audio"),
                                             clip("c3", "p", "title.png", "image")});
    const auto map = MediaResolver::sourceFileMap(session, dir.path());
    EXPECT_EQ(mapped(map, "m"), "g23976.mp4");
    EXPECT_EQ(map.count("v"), 0u);
    EXPECT_EQ(map.count("p"), 0u);
    EXPECT_EQ(mapped(map, "d"), "DJI_0002.MP4");
    EXPECT_EQ(resolveName("voice.wav", {dir / "voice.wav.mp4"}, {}, false), std::nullopt);

    const MediaResolver::PreviewReadiness readiness = MediaResolver::previewReadiness(session, dir.path());
    ASSERT_EQ(readiness.standIns.size(), 1u);
    EXPECT_EQ(MediaResolver::standInText(readiness.standIns), "g25.mp4 not found — g23976.mp4 shown in its place");
    EXPECT_EQ(readiness.unresolvedSourceLabels, (std::vector<std::string>{"g25.mp4", "title.png", "voice.wav"}));
    // The source viewer shows no file the map does not give.
    EXPECT_EQ(MediaResolver::urlForSource(session.sources[1], session, dir.path()), std::nullopt);
}

// A source's kind is its own (its name's, else its declared type's), never its clip's name: no
// movie stands in for a sound file, by clip name or by the ordered hand-out.
TEST(SourceFileMap, AMovieNeverStandsInForASoundSourceWhateverItsClipIsNamed)
{
    TempDir dir;
    touch(dir / "voice.mp4");
    touch(dir / "cam.mp4");
    const EditSession session = sessionWith({{"v", "voice.wav"}, {"memo", "Voice memo", "audio"}, {"any", "Take 3"}},
                                            {clip("c1", "v", "voice", "audio"), clip("c2", "memo", "Voice memo", "audio")});
    const auto map = MediaResolver::sourceFileMap(session, dir.path());
    EXPECT_EQ(map.count("v"), 0u);
    EXPECT_EQ(map.count("memo"), 0u);
    // A source of no known kind still takes a remaining movie.
    EXPECT_EQ(mapped(map, "any"), "cam.mp4");
}

// Sources naming one file all read it and none is called missing; same-named files in two
// folders go one to each source, in listing order.
TEST(SourceFileMap, SourcesNamingOneFileAllReadItAndSameNamedFilesGoOneToEach)
{
    TempDir dir;
    touch(dir / "A001.mp4");
    touch(dir / "B002.mp4");
    touch(dir / "cam1" / "C0001.MP4");
    touch(dir / "cam2" / "C0001.MP4");
    const EditSession session = sessionWith({{"a1", "A001.mp4"}, {"a2", "A001.mp4"}, {"a3", "a001.MP4"},
                                             {"c1", "C0001.MP4"}, {"c2", "C0001.MP4"}, {"c3", "C0001.MP4"}});
    const auto map = MediaResolver::sourceFileMap(session, dir.path());
    EXPECT_EQ(map.at("a1"), dir / "A001.mp4");
    EXPECT_EQ(map.at("a2"), dir / "A001.mp4");
    EXPECT_EQ(map.at("a3"), dir / "A001.mp4");
    EXPECT_EQ(map.at("c1"), dir / "cam1" / "C0001.MP4");
    EXPECT_EQ(map.at("c2"), dir / "cam2" / "C0001.MP4");
    EXPECT_EQ(map.at("c3"), dir / "cam1" / "C0001.MP4");
    const MediaResolver::PreviewReadiness readiness = MediaResolver::previewReadiness(session, &map);
    EXPECT_TRUE(readiness.standIns.empty());
    EXPECT_TRUE(readiness.unresolvedSourceLabels.empty());
}

// A map made for one session holds for another whose inputs are equal: a trim or a move changes
// none, while a source's or clip's name, a source id or a field moved across its neighbour's
// boundary each does.
TEST(SourceFileMap, ItsInputsChangeWithNamesAndIdsButNotWithTiming)
{
    const EditSession base = sessionWith({{"s1", "A001.mp4"}, {"s2", "B002.mp4"}},
                                         {clip("c1", "s1", "A001.mp4"), clip("c2", "s2", "B002.mp4")});
    const MediaResolver::ResolutionInputs inputs = MediaResolver::resolutionInputs(base);

    EditSession trimmed = base;
    trimmed.timelines[0].clips[0].startTime = 4.0;
    trimmed.timelines[0].clips[0].duration = 1.5;
    EXPECT_EQ(MediaResolver::resolutionInputs(trimmed), inputs);

    const auto changed = [&](const std::function<void(EditSession&)>& edit) {
        EditSession session = base;
        edit(session);
        return MediaResolver::resolutionInputs(session) != inputs;
    };
    EXPECT_TRUE(changed([](EditSession& s) { s.sources[1].fileName = "B003.mp4"; }));
    EXPECT_TRUE(changed([](EditSession& s) { s.sources[0].id = "s"; s.sources[0].fileName = "1A001.mp4"; }));
    EXPECT_TRUE(changed([](EditSession& s) { s.sources[0].type = "video"; }));
    EXPECT_TRUE(changed([](EditSession& s) { s.timelines[0].clips[1].name = "b002.mp4"; }));
    EXPECT_TRUE(changed([](EditSession& s) { s.timelines[0].clips[1].sourceId.reset(); }));
    EXPECT_TRUE(changed([](EditSession& s) { std::swap(s.sources[0], s.sources[1]); }));
    EXPECT_TRUE(changed([](EditSession& s) { s.timelines[0].clips.pop_back(); }));
}

// ---- derived queries ----

TEST(UnresolvedSourceLabels, SortsByPlainTextOrderOrListsEverySourceWhenTheFolderFails)
{
    TempDir dir;
    touch(dir / "clip.wav");
    const EditSession session = sessionWith({{"1", "zeta.mov"}, {"2", "Alpha.mov"}, {"3", "beta.mov"}, {"4", "zeta.mov"}});
    EXPECT_EQ(MediaResolver::unresolvedSourceLabels(session, dir.path()),
              (std::vector<std::string>{"Alpha.mov", "beta.mov", "zeta.mov", "zeta.mov"}));
    EXPECT_EQ(MediaResolver::unresolvedSourceLabels(session, dir / "missing"),
              (std::vector<std::string>{"zeta.mov", "Alpha.mov", "beta.mov", "zeta.mov"}));
}

TEST(CanBuildPreview, NeedsAFolderAndAVisualClipWithItsMedia)
{
    TempDir dir;
    touch(dir / "a.mp4");
    touch(dir / "voice.wav");
    EXPECT_FALSE(MediaResolver::canBuildPreview(sessionWith({}), dir / "missing"));

    // Only audio and text clips: nothing visual needs media.
    EXPECT_TRUE(MediaResolver::canBuildPreview(
        sessionWith({{"s1", "voice.wav"}}, {clip("c1", "s1", "voice.wav"), clip("c2", "", "Title", "text")}), dir.path()));
    // A video clip whose source resolves.
    EXPECT_TRUE(MediaResolver::canBuildPreview(sessionWith({{"s1", "a.mp4"}}, {clip("c1", "s1", "a.mp4")}), dir.path()));
    // A video clip whose source does not (the only video file went to another source).
    EXPECT_FALSE(MediaResolver::canBuildPreview(
        sessionWith({{"s0", "a.mp4"}, {"s1", "b.mp4"}}, {clip("c1", "s1", "b.mp4")}), dir.path()));
    // No clips: any media file will do.
    EXPECT_TRUE(MediaResolver::canBuildPreview(sessionWith({}), dir.path()));
    TempDir empty;
    EXPECT_FALSE(MediaResolver::canBuildPreview(sessionWith({}), empty.path()));
    EXPECT_FALSE(MediaResolver::canBuildPreview(sessionWith({{"s1", "a.mp4"}}, {clip("c1", "s1", "a.mp4")}), empty.path()));
}

// One pass over the sources answers both what the relink alert names and whether a preview can
// be built.
TEST(PreviewReadiness, NamesTheUnresolvedSourcesAndSaysWhetherAPreviewCanBeBuilt)
{
    TempDir dir;
    touch(dir / "a.mp4");
    const EditSession one = sessionWith({{"s1", "a.mp4"}}, {clip("c1", "s1", "a.mp4")});
    const EditSession two = sessionWith({{"s0", "a.mp4"}, {"s1", "b.mp4"}}, {clip("c1", "s1", "b.mp4")});
    const MediaResolver::PreviewReadiness found = MediaResolver::previewReadiness(one, dir.path());
    EXPECT_TRUE(found.canBuildPreview);
    EXPECT_TRUE(found.unresolvedSourceLabels.empty());
    const MediaResolver::PreviewReadiness partly = MediaResolver::previewReadiness(two, dir.path());
    EXPECT_FALSE(partly.canBuildPreview);
    EXPECT_EQ(partly.unresolvedSourceLabels, (std::vector<std::string>{"b.mp4"}));
    const MediaResolver::PreviewReadiness none = MediaResolver::previewReadiness(two, dir / "missing");
    EXPECT_FALSE(none.canBuildPreview);
    EXPECT_EQ(none.unresolvedSourceLabels, (std::vector<std::string>{"a.mp4", "b.mp4"}));
    // Without clips, a folder that holds media will do.
    TempDir empty;
    EXPECT_TRUE(MediaResolver::previewReadiness(sessionWith({}), dir.path()).canBuildPreview);
    EXPECT_FALSE(MediaResolver::previewReadiness(sessionWith({}), empty.path()).canBuildPreview);
}

TEST(UrlForSource, FallsBackToAPlainLookupThenToTheJoinedPathInsideTheFolder)
{
    TempDir dir;
    touch(dir / "a.mp4");
    touch(dir / "b.mp4");
    const EditSession session = sessionWith({{"s1", "A.MP4"}, {"s2", "A.MP4"}});
    EXPECT_EQ(MediaResolver::urlForSource(session.sources[0], session, dir.path()), dir / "a.mp4");
    // s2 names the same file and reads it too.
    EXPECT_EQ(MediaResolver::urlForSource(session.sources[1], session, dir.path()), dir / "a.mp4");

    // A file the listing never offers (not a media extension) is still found by its path once
    // neither the map (a browser export assigns nothing by order) nor a name lookup finds one.
    TempDir other;
    touch(other / "clip.mp4");
    touch(other / "notes.braw");
    EditSession browser = sessionWith({{"s1", "notes.braw"}});
    browser.tool = "velmora-editor-desktop-export";
    EXPECT_EQ(MediaResolver::urlForSource(browser.sources[0], browser, other.path()), other / "notes.braw");
    // A file name cannot climb out of the folder.
    TempDir outside;
    touch(outside / "secret.braw");
    EditSession climbing = sessionWith({{"s1", "../" + outside.path().filename().string() + "/secret.braw"}});
    climbing.tool = browser.tool;
    EXPECT_EQ(MediaResolver::urlForSource(climbing.sources[0], climbing, other.path()), std::nullopt);
    EditSession absolute = sessionWith({{"s1", (outside / "secret.braw").string()}});
    absolute.tool = browser.tool;
    EXPECT_EQ(MediaResolver::urlForSource(absolute.sources[0], absolute, other.path()), std::nullopt);
}

TEST(SourceDuration, ProbesTheResolvedFileAndRefusesTinyOrBrokenOnes)
{
    TempDir dir;
    test::runFFmpeg("-f lavfi -i testsrc2=s=64x36:r=25:d=1 -c:v libx264 -pix_fmt yuv420p "
                    + test::shellQuote((dir / "Take_01.mp4").string()));
    test::runFFmpeg("-f lavfi -i testsrc2=s=64x36:r=25:d=0.04 -frames:v 1 -c:v libx264 -pix_fmt yuv420p "
                    + test::shellQuote((dir / "Blink.mp4").string()));
    test::writeTextFile(dir / "Broken.mov", "not a movie at all");

    const auto seconds = MediaResolver::sourceDurationSeconds("Take_01 (Audio)", dir.path());
    ASSERT_TRUE(seconds.has_value());
    EXPECT_NEAR(*seconds, 1.0, 0.05);
    EXPECT_EQ(MediaResolver::sourceDurationSeconds("Blink.mp4", dir.path()), std::nullopt);
    EXPECT_EQ(MediaResolver::sourceDurationSeconds("Broken.mov", dir.path()), std::nullopt);
    EXPECT_EQ(MediaResolver::sourceDurationSeconds(std::nullopt, dir.path()), std::nullopt);
    EXPECT_EQ(MediaResolver::sourceDurationSeconds("   ", dir.path()), std::nullopt);
    EXPECT_EQ(MediaResolver::sourceDurationSeconds("Take_01.mp4", dir / "missing"), std::nullopt);
}

// ---- typed folder paths ----

class MediaFolderPathTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (const char* home = std::getenv("HOME")) {
            savedHome_ = home;
        }
        ::setenv("HOME", home_.path().c_str(), 1);
    }
    void TearDown() override
    {
        if (savedHome_) {
            ::setenv("HOME", savedHome_->c_str(), 1);
        } else {
            ::unsetenv("HOME");
        }
    }
    TempDir home_;
    std::optional<std::string> savedHome_;
};

TEST_F(MediaFolderPathTest, ExpandsTheHomeFolderAndStandardizesExistingFolders)
{
    fs::create_directories(home_ / "Videos" / "Shoot");
    EXPECT_EQ(MediaFolderPath::resolvedURL("  ~/Videos/Shoot  "), home_.path() / "Videos" / "Shoot");
    EXPECT_EQ(MediaFolderPath::resolvedURL("~/Videos/./Shoot/../Shoot/"), home_.path() / "Videos" / "Shoot");
    EXPECT_EQ(MediaFolderPath::resolvedURL("~"), home_.path());
    EXPECT_EQ(MediaFolderPath::resolvedURL((home_ / "Videos").string()), home_.path() / "Videos");
}

TEST_F(MediaFolderPathTest, GivesNothingForEmptyMissingOrFilePaths)
{
    touch(home_ / "clip.mp4");
    EXPECT_EQ(MediaFolderPath::resolvedURL(std::nullopt), std::nullopt);
    EXPECT_EQ(MediaFolderPath::resolvedURL(""), std::nullopt);
    EXPECT_EQ(MediaFolderPath::resolvedURL(" \n\t"), std::nullopt);
    EXPECT_EQ(MediaFolderPath::resolvedURL("~/missing"), std::nullopt);
    EXPECT_EQ(MediaFolderPath::resolvedURL("~/clip.mp4"), std::nullopt);
}

} // namespace
} // namespace velmora
