#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

#include "model/MediaResolver.h"
#include "model/ProjectMediaFolder.h"
#include "model/UserFolders.h"
#include "model/VelmoraProjectFile.h"
#include "support/TestSupport.h"

namespace velmora {
namespace {

namespace fs = std::filesystem;
using test::TempDir;

void touch(const fs::path& path)
{
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << "";
}

// Points HOME and the XDG configuration at a fresh folder for the length of a test.
class UserEnvironmentTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (const char* name : {"HOME", "XDG_VIDEOS_DIR", "XDG_CONFIG_HOME"}) {
            const char* value = std::getenv(name);
            saved_.emplace_back(name, value ? std::optional<std::string>(value) : std::nullopt);
            ::unsetenv(name);
        }
        ::setenv("HOME", home_.path().c_str(), 1);
    }
    void TearDown() override
    {
        for (const auto& [name, value] : saved_) {
            if (value) {
                ::setenv(name.c_str(), value->c_str(), 1);
            } else {
                ::unsetenv(name.c_str());
            }
        }
    }
    void writeUserDirs(const std::string& text)
    {
        fs::create_directories(home_ / ".config");
        test::writeTextFile(home_ / ".config" / "user-dirs.dirs", text);
    }

    TempDir home_;
    std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

// ---- user folders ----

TEST_F(UserEnvironmentTest, TheVideosFolderComesFromTheEnvironmentOrTheUserDirsFile)
{
    EXPECT_EQ(UserFolders::videos(), std::nullopt);
    writeUserDirs("# written by xdg-user-dirs-update\nXDG_DESKTOP_DIR=\"$HOME/Desktop\"\n"
                  "XDG_VIDEOS_DIR=\"$HOME/My Videos\"\n");
    EXPECT_EQ(UserFolders::videos(), home_.path() / "My Videos");
    writeUserDirs("XDG_VIDEOS_DIR=\"$HOME/\"\n");
    EXPECT_EQ(UserFolders::videos(), std::nullopt);
    writeUserDirs("XDG_VIDEOS_DIR=\"/srv/films\"\n");
    EXPECT_EQ(UserFolders::videos(), fs::path("/srv/films"));
    ::setenv("XDG_VIDEOS_DIR", (home_ / "Clips").c_str(), 1);
    EXPECT_EQ(UserFolders::videos(), home_.path() / "Clips");
}

TEST_F(UserEnvironmentTest, ExpandsALeadingTildeOnly)
{
    EXPECT_EQ(UserFolders::expandingTilde("~"), home_.path().string());
    EXPECT_EQ(UserFolders::expandingTilde("~/Videos"), (home_ / "Videos").string());
    EXPECT_EQ(UserFolders::expandingTilde("/a/~/b"), "/a/~/b");
    EXPECT_EQ(UserFolders::expandingTilde("~root/x"), "/root/x");
    EXPECT_EQ(UserFolders::expandingTilde("~no-such-user-here/x"), "~no-such-user-here/x");
}

// ---- project media folder ----

TEST(ProjectMediaFolderName, TrimsReplacesSlashesAndNamesEmptyProjectsUntitled)
{
    EXPECT_EQ(ProjectMediaFolder::sanitizedName("A/B"), "A-B");
    EXPECT_EQ(ProjectMediaFolder::sanitizedName("  My Film \n"), "My Film");
    EXPECT_EQ(ProjectMediaFolder::sanitizedName("   "), "Untitled");
    EXPECT_EQ(ProjectMediaFolder::sanitizedName(std::nullopt), "Untitled");
}

TEST_F(UserEnvironmentTest, TheDefaultFolderSitsBesideTheProjectFileOrUnderTheVideosFolder)
{
    TempDir projects;
    EXPECT_EQ(ProjectMediaFolder::url(projects / "Trip.tavlek", " My Film "), projects / "My Film_media");
    EXPECT_EQ(ProjectMediaFolder::url(projects / "Trip.tavlek", "A/B"), projects / "A-B_media");

    EXPECT_EQ(ProjectMediaFolder::url(std::nullopt, "Trip"), home_ / "Velmora Desktop" / "Trip_media");
    ::setenv("XDG_VIDEOS_DIR", (home_ / "Videos").c_str(), 1);
    EXPECT_EQ(ProjectMediaFolder::url(std::nullopt, std::nullopt), home_ / "Videos" / "Velmora Desktop" / "Untitled_media");
    EXPECT_FALSE(fs::exists(home_ / "Videos"));
}

TEST(ProjectMediaFolderCreation, CreatesMissingParentsAndIgnoresFailure)
{
    TempDir dir;
    EXPECT_EQ(ProjectMediaFolder::ensureExists(dir / "a" / "b_media"), dir / "a" / "b_media");
    EXPECT_TRUE(fs::is_directory(dir / "a" / "b_media"));
    touch(dir / "file");
    EXPECT_EQ(ProjectMediaFolder::ensureExists(dir / "file" / "x_media"), dir / "file" / "x_media");
    EXPECT_FALSE(ProjectMediaFolder::hasMediaFiles(dir / "a"));
    EXPECT_FALSE(ProjectMediaFolder::hasMediaFiles(dir / "missing"));
    touch(dir / "a" / "b_media" / "deep" / "clip.mp4");
    EXPECT_TRUE(ProjectMediaFolder::hasMediaFiles(dir / "a"));
}

TEST_F(UserEnvironmentTest, ASavedMediaPathHoldingMediaWins)
{
    TempDir projects;
    TempDir shoot;
    touch(shoot / "clip.mp4");
    touch(projects / "Trip_media" / "other.mp4");
    fs::create_directory_symlink(shoot.path(), home_ / "shoot");
    EXPECT_EQ(ProjectMediaFolder::resolveForSession(projects / "Trip.tavlek", "~/shoot", "Trip"), home_ / "shoot");
    EXPECT_EQ(ProjectMediaFolder::resolveForSession(projects / "Trip.tavlek", shoot.path().string() + "/", "Trip"),
              shoot.path());
}

TEST_F(UserEnvironmentTest, ARelativeSavedPathIsTakenFromTheProjectFilesFolderOnly)
{
    TempDir projects;
    TempDir elsewhere;
    touch(projects / "Trip_media" / "clip.mp4");
    touch(projects / "shoot" / "clip.mp4");
    touch(elsewhere / "Trip_media" / "clip.mp4");
    const fs::path started = fs::current_path();
    fs::current_path(elsewhere.path());
    EXPECT_EQ(ProjectMediaFolder::resolveForSession(projects / "Trip.tavlek", "Trip_media", "Trip"),
              projects / "Trip_media");
    EXPECT_EQ(ProjectMediaFolder::resolveForSession(projects / "sub" / "Trip.tavlek", "../shoot/", "Trip"),
              projects / "shoot");
    EXPECT_EQ(MediaFolderPath::resolvedURL("Trip_media"), std::nullopt);
    fs::current_path(started);
}

// What a document stores for its media folder reads back, from the document's own folder, as
// that folder: the absolute path when it is UTF-8 text, else the path below the document's
// folder when that is, else nothing.
TEST(MediaFolderStoring, AFolderIsStoredSoThatItReadsBackOrNotAtAll)
{
    TempDir root;
    const fs::path odd = root / "caf\xe9";
    struct Case {
        fs::path folder;
        std::optional<fs::path> document;
        std::optional<std::string> stored;
    };
    const Case cases[] = {
        {root / "Trip_media", root / "elsewhere" / "Trip.tavlek", (root / "Trip_media").string()},
        {odd / "Trip_media", odd / "Trip.tavlek", "Trip_media"},
        {odd / "a" / "b", odd / "Trip.tavlek", "a/b"},
        {odd, odd / "Trip.tavlek", "."},
        {odd / "Trip_media", root / "Trip.tavlek", std::nullopt},
        {odd / "Trip_media", odd / "sub" / "Trip.tavlek", std::nullopt},
        {odd / "Trip_media", std::nullopt, std::nullopt},
        // Names a read would trim are kept whole.
        {odd / "clips ", odd / "Trip.tavlek", "clips /."},
        {odd / " clips", odd / "Trip.tavlek", "./ clips"},
        {odd / "\t", odd / "Trip.tavlek", "./\t/."},
        {root / " media ", root / "elsewhere" / "Trip.tavlek", (root / " media ").string() + "/."},
    };
    for (const Case& c : cases) {
        const std::optional<std::string> stored = MediaFolderPath::storedText(c.folder, c.document);
        EXPECT_EQ(stored, c.stored) << c.folder;
        if (stored) {
            fs::create_directories(c.folder);
            EXPECT_EQ(MediaFolderPath::resolvedURL(stored, c.document->parent_path()), c.folder) << *stored;
        }
    }
}

TEST_F(UserEnvironmentTest, ASavedPathWithoutMediaGivesTheProjectFolderCreatedWhenNothingHoldsMedia)
{
    TempDir projects;
    TempDir emptyShoot;
    const fs::path result = ProjectMediaFolder::resolveForSession(projects / "Trip.tavlek", emptyShoot.path().string(), "Trip");
    EXPECT_EQ(result, projects / "Trip_media");
    EXPECT_TRUE(fs::is_directory(projects / "Trip_media"));
}

TEST_F(UserEnvironmentTest, MediaBesideTheProjectFileMakeItsFolderTheResult)
{
    TempDir projects;
    touch(projects / "media" / "clip.mov");
    EXPECT_EQ(ProjectMediaFolder::resolveForSession(projects / "Trip.tavlek", std::nullopt, "Trip"), projects.path());

    TempDir other;
    touch(other / "Trip_media" / "clip.mov");
    EXPECT_EQ(ProjectMediaFolder::resolveForSession(other / "Trip.tavlek", "", "Trip"), other / "Trip_media");
    // Naming the project-named folder as the saved path visits it once and gives the same.
    EXPECT_EQ(ProjectMediaFolder::resolveForSession(other / "Trip.tavlek", (other / "Trip_media").string(), "Trip"),
              other / "Trip_media");
}

TEST_F(UserEnvironmentTest, WithoutAProjectFileTheDefaultFolderIsCreatedUnderTheVideosFolder)
{
    ::setenv("XDG_VIDEOS_DIR", (home_ / "Videos").c_str(), 1);
    touch(home_ / "not-a-folder");
    const fs::path result = ProjectMediaFolder::resolveForSession(std::nullopt, "~/not-a-folder", "New Cut");
    EXPECT_EQ(result, home_ / "Videos" / "Velmora Desktop" / "New Cut_media");
    EXPECT_TRUE(fs::is_directory(result));
}

// ---- project file names ----

EditSession namedSession(std::optional<std::string> name)
{
    EditSession session;
    session.project = EditSession::Project();
    session.project->name = std::move(name);
    return session;
}

TEST(ProjectFileNames, TheSaveNameReplacesSpacesAndSlashesAndPlaceholders)
{
    EXPECT_EQ(VelmoraProjectFile::defaultSaveFilename(namedSession("  Summer Trip  ")), "Summer_Trip.tavlek");
    EXPECT_EQ(VelmoraProjectFile::defaultSaveFilename(namedSession("Untitled Project")), "My_Movie.tavlek");
    EXPECT_EQ(VelmoraProjectFile::defaultSaveFilename(namedSession("Desktop Project")), "My_Movie.tavlek");
    EXPECT_EQ(VelmoraProjectFile::defaultSaveFilename(namedSession("   ")), "My_Movie.tavlek");
    EXPECT_EQ(VelmoraProjectFile::defaultSaveFilename(namedSession(std::nullopt)), "My_Movie.tavlek");
    EXPECT_EQ(VelmoraProjectFile::defaultSaveFilename(EditSession()), "My_Movie.tavlek");
    EXPECT_EQ(VelmoraProjectFile::defaultSaveFilename(namedSession("untitled project")), "untitled_project.tavlek");
    EXPECT_EQ(VelmoraProjectFile::defaultSaveFilename(namedSession("Day\t1")), "Day\t1.tavlek");
    EXPECT_EQ(VelmoraProjectFile::defaultSaveFilename(namedSession("Cut 2/3")), "Cut_2-3.tavlek");
}

TEST(ProjectFileNames, DisplayNameAndTheForcedExtension)
{
    EXPECT_EQ(VelmoraProjectFile::displayName("/p/Trip.final.tavlek"), "Trip.final");
    EXPECT_EQ(VelmoraProjectFile::normalizedURL("/p/cut.json"), fs::path("/p/cut.tavlek"));
    EXPECT_EQ(VelmoraProjectFile::normalizedURL("/p/cut"), fs::path("/p/cut.tavlek"));
    EXPECT_EQ(VelmoraProjectFile::normalizedURL("/p/cut.TAVLEK"), fs::path("/p/cut.TAVLEK"));
    EXPECT_EQ(VelmoraProjectFile::normalizedURL("/p/my.cut.v2"), fs::path("/p/my.cut.tavlek"));
}

TEST(ProjectFileNames, NamesTheProjectAfterItsFile)
{
    EditSession placeholder = namedSession("Desktop Project");
    VelmoraProjectFile::applyFilenameToProjectName(placeholder, "/p/Trip.tavlek", false);
    EXPECT_EQ(placeholder.project->name, "Trip");

    EditSession holiday = namedSession("Holiday");
    VelmoraProjectFile::applyFilenameToProjectName(holiday, "/p/Trip.tavlek", false);
    EXPECT_EQ(holiday.project->name, "Holiday");
    VelmoraProjectFile::applyFilenameToProjectName(holiday, "/p/Trip.tavlek", true);
    EXPECT_EQ(holiday.project->name, "Trip");

    EditSession none;
    VelmoraProjectFile::applyFilenameToProjectName(none, "/p/Trip.tavlek", false);
    ASSERT_TRUE(none.project.has_value());
    EXPECT_EQ(none.project->name, "Trip");
    EXPECT_EQ(none.project->width, std::nullopt);

    EditSession untouched;
    VelmoraProjectFile::applyFilenameToProjectName(untouched, "/", true);
    EXPECT_FALSE(untouched.project.has_value());
}

TEST(ProjectFileNames, PlaceholderNamesAreExactAfterTrimming)
{
    EXPECT_TRUE(VelmoraProjectFile::isPlaceholderName(" Untitled Project\n"));
    EXPECT_TRUE(VelmoraProjectFile::isPlaceholderName(""));
    EXPECT_FALSE(VelmoraProjectFile::isPlaceholderName("desktop project"));
}

TEST(ProjectOpenPanels, OfferProjectsAndJsonWithTheirOwnWording)
{
    OpenPanelConfiguration project;
    VelmoraProjectFile::configureProjectOpenPanel(project);
    EXPECT_FALSE(project.allowsMultipleSelection);
    EXPECT_TRUE(project.canChooseFiles);
    EXPECT_FALSE(project.canChooseDirectories);
    EXPECT_TRUE(project.allowsOtherFileTypes);
    EXPECT_EQ(project.allowedFileTypes, (std::vector<std::string>{"tavlek", "json"}));
    ASSERT_EQ(project.allowedContentTypes.size(), 2u);
    EXPECT_EQ(project.allowedContentTypes[0], VelmoraProjectFile::contentType());
    EXPECT_EQ(project.allowedContentTypes[0].conformsTo, "application/json");
    EXPECT_EQ(project.allowedContentTypes[1].mimeType, "application/json");
    EXPECT_EQ(project.prompt, "Open");
    EXPECT_EQ(project.message, "Open a Velmora Desktop (.tavlek) or web browser project (.tavlek). Media is loaded "
                               "from the saved folder or ProjectName_media beside the file.");

    OpenPanelConfiguration web;
    VelmoraProjectFile::configureWebJobOpenPanel(web);
    EXPECT_EQ(web.prompt, "Import");
    EXPECT_EQ(web.message, "Choose a web export: Desktop job JSON, Edit Return JSON, or a browser .tavlek project.");
    EXPECT_EQ(web.allowedFileTypes, project.allowedFileTypes);
}

} // namespace
} // namespace velmora
