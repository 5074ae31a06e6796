// The project settings presets and sheet: labels, the fill-in from the project, the clamp and
// fall-backs of "Apply", and the Return and Escape keys.

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QTest>
#include <gtest/gtest.h>

#include "InspectorTestSupport.h"
#include "inspectors/ProjectSettingsController.h"
#include "inspectors/ProjectSettingsPresets.h"
#include "inspectors/ProjectSettingsSheet.h"

namespace velmora::test {
namespace {

TEST(ProjectSettingsPresets, ResolutionsLookUpBySizeAndLabel)
{
    const auto& presets = ProjectSettingsPresets::resolutions();
    ASSERT_EQ(presets.size(), 9u);
    EXPECT_EQ(presets.front(), (ProjectResolutionPreset{"1080p Landscape (1920\u00D71080)", 1920, 1080}));
    EXPECT_EQ(presets[3], (ProjectResolutionPreset{"Velmora 2.39:1 (3840\u00D71608)", 3840, 1608}));
    EXPECT_EQ(presets.back(), (ProjectResolutionPreset{"Square (1080\u00D71080)", 1080, 1080}));
    EXPECT_STREQ(ProjectSettingsPresets::customLabel, "Custom\xE2\x80\xA6");
    for (std::size_t i = 0; i < presets.size(); ++i) {
        for (std::size_t j = i + 1; j < presets.size(); ++j) {
            EXPECT_NE(presets[i].label, presets[j].label);
            EXPECT_FALSE(presets[i].width == presets[j].width && presets[i].height == presets[j].height);
        }
    }

    EXPECT_EQ(ProjectSettingsPresets::preset(1080, 1920)->label, "1080p Vertical (1080\u00D71920)");
    EXPECT_FALSE(ProjectSettingsPresets::preset(1920, 1200));
    EXPECT_FALSE(ProjectSettingsPresets::preset(0, 0));
    EXPECT_EQ(ProjectSettingsPresets::preset(std::string("1080p Landscape (1920\u00D71080)")), presets.front());
    EXPECT_FALSE(ProjectSettingsPresets::preset(std::string(ProjectSettingsPresets::customLabel)));
}

TEST(ProjectSettingsPresets, FrameRateLabelsNameKnownRatesAndFormatTheRest)
{
    std::vector<std::string> labels;
    for (const double rate : ProjectSettingsPresets::fpsOptions())
        labels.push_back(ProjectSettingsPresets::frameRateLabel(rate));
    EXPECT_EQ(labels, (std::vector<std::string>{"23.976 fps (Film)", "24 fps (Velmora)", "25 fps (PAL)",
                                                "29.97 fps (NTSC)", "30 fps", "48 fps", "50 fps (PAL HFR)",
                                                "59.94 fps (NTSC)", "60 fps", "100 fps (HFR)", "120 fps (HFR)",
                                                "200 fps (HFR)", "240 fps (HFR)"}));
    EXPECT_EQ(ProjectSettingsPresets::frameRateLabel(23.98), "23.976 fps (Film)");
    EXPECT_EQ(ProjectSettingsPresets::frameRateLabel(23.96), "23.96 fps");
    EXPECT_EQ(ProjectSettingsPresets::frameRateLabel(15), "15 fps");
    EXPECT_EQ(ProjectSettingsPresets::frameRateLabel(12.5), "12.50 fps");
}

struct SettingsFixture {
    // A project of the given canvas and rate (absent fields stay absent).
    void project(std::optional<std::string> name, std::optional<int> width, std::optional<int> height,
                 std::optional<double> fps)
    {
        h.adopt({}, {});
        EditSession::Project& p = *h.session().project;
        p.name = std::move(name);
        p.width = width;
        p.height = height;
        p.fps = fps;
    }

    ProjectSettingsController& controller()
    {
        if (!c)
            c = std::make_unique<ProjectSettingsController>(
                h.engine, std::vector<std::string>{"None", "look.cube"}, [this] { calls.push_back("apply"); },
                [this] { calls.push_back("dismiss"); });
        return *c;
    }

    InspectorHarness h;
    std::unique_ptr<ProjectSettingsController> c;
    std::vector<std::string> calls;
};

TEST(ProjectSettingsSheet, FillInTakesThePresetOrTheCustomSize)
{
    SettingsFixture f;
    f.project("Trip", 3840, 1608, 24);
    ProjectSettingsController& c = f.controller();
    c.fillIn();
    EXPECT_EQ(c.projectName(), "Trip");
    EXPECT_EQ(c.resolutionLabel(), "Velmora 2.39:1 (3840\u00D71608)");
    EXPECT_FALSE(c.useCustomResolution());
    EXPECT_EQ(c.customWidth(), 1920);
    EXPECT_EQ(c.customHeight(), 1080);
    EXPECT_EQ(c.fps(), 24);
    EXPECT_EQ(c.lutSelection(), "None");

    // Choosing "Custom…" shows the custom fields with what they held, not the preset's size.
    c.setResolutionLabel(ProjectSettingsPresets::customLabel);
    EXPECT_TRUE(c.useCustomResolution());
    EXPECT_EQ(c.appliedSize(), (ProjectSettingsController::CanvasSize{1920, 1080}));

    f.h.session().project->width = 1920;
    f.h.session().project->height = 1200;
    c.fillIn();
    EXPECT_EQ(c.resolutionLabel(), ProjectSettingsPresets::customLabel);
    EXPECT_TRUE(c.useCustomResolution());
    EXPECT_EQ(c.customWidth(), 1920);
    EXPECT_EQ(c.customHeight(), 1200);
    EXPECT_EQ(c.aspectText(), "1.60:1");
    c.setCustomHeight(0);
    EXPECT_EQ(c.aspectText(), "");
}

TEST(ProjectSettingsSheet, MissingValuesFillInWithDefaultsAndUnknownValuesStay)
{
    SettingsFixture f;
    f.project(std::nullopt, std::nullopt, std::nullopt, std::nullopt);
    ProjectSettingsController& c = f.controller();
    c.fillIn();
    EXPECT_EQ(c.projectName(), "Untitled Project");
    EXPECT_EQ(c.resolutionLabel(), "1080p Landscape (1920\u00D71080)");
    EXPECT_EQ(c.fps(), 59.94);

    // An empty name stays empty; a rate and a LUT the pickers do not offer stay and go back.
    f.h.session().project->name = "";
    f.h.session().project->fps = 12;
    f.h.engine.setProjectLutReference("Other Look.cube");
    c.fillIn();
    EXPECT_EQ(c.projectName(), "");
    EXPECT_EQ(c.fps(), 12);
    EXPECT_EQ(c.lutSelection(), "Other Look.cube");
    c.setProjectName("Kept");
    c.apply();
    EXPECT_EQ(f.h.session().project->fps, 12);
    EXPECT_EQ(f.h.engine.projectLutReference(), "Other Look.cube");

    // With no project loaded at all, the sheet opens on the defaults and Apply changes nothing.
    TimelinePreviewEngine empty(TimelinePreviewEngine::Services{f.h.queue, f.h.clock, nullptr});
    int dismissed = 0;
    ProjectSettingsController none(empty, {}, {}, [&] { ++dismissed; });
    none.fillIn();
    EXPECT_EQ(none.projectName(), "Untitled Project");
    EXPECT_EQ(none.lutSelection(), "None");
    none.apply();
    EXPECT_EQ(empty.session(), nullptr);
    EXPECT_EQ(dismissed, 1);
}

TEST(ProjectSettingsSheet, ApplyClampsTheCustomSizeAndSettlesTheName)
{
    SettingsFixture f;
    f.project("Trip", 1920, 1080, 25);
    ProjectSettingsController& c = f.controller();
    c.fillIn();
    c.setResolutionLabel(ProjectSettingsPresets::customLabel);
    c.setCustomWidth(10000);
    c.setCustomHeight(0);
    c.setProjectName("   ");
    c.setLutSelection("look.cube");
    c.apply();
    const EditSession::Project& project = *f.h.session().project;
    EXPECT_EQ(project.width, 7680);
    EXPECT_EQ(project.height, 1);
    EXPECT_EQ(project.name, "Untitled Project");
    EXPECT_EQ(f.h.engine.outputWidth(), 7680);
    EXPECT_EQ(f.h.engine.projectLutReference(), "look.cube");
    EXPECT_EQ(f.h.engine.status(), "Project settings updated \u2014 canvas 7680\u00D71");
    EXPECT_EQ(f.calls, (std::vector<std::string>{"apply", "dismiss"}));

    c.setCustomWidth(-5);
    c.setCustomHeight(-1);
    c.setProjectName("  Spaced  ");
    EXPECT_EQ(c.appliedSize(), (ProjectSettingsController::CanvasSize{1, 1}));
    c.apply();
    EXPECT_EQ(f.h.session().project->name, "  Spaced  ");

    // A label that names no preset falls back to 1920 × 1080.
    c.setResolutionLabel("Unknown");
    EXPECT_FALSE(c.useCustomResolution());
    EXPECT_EQ(c.appliedSize(), (ProjectSettingsController::CanvasSize{1920, 1080}));
}

// The name field shows a name of megabytes as every place shows a name, cut in the middle; the
// project keeps it whole unless the user edits it.
TEST(ProjectSettingsSheet, ALongNameIsShownCutAndKeptWholeUntilEdited)
{
    SettingsFixture f;
    const std::string name = "Trip " + std::string(2'000'000, 'x');
    f.project(name, 1920, 1080, 25);
    ProjectSettingsSheet sheet(f.h.engine, {"None"}, [] {}, [] {});
    sheet.show();
    const auto* field = sheet.findChild<QLineEdit*>("projectNameField");
    ASSERT_NE(field, nullptr);
    EXPECT_TRUE(field->text().toStdString() == name.substr(0, 500) + "\u2026" + std::string(500, 'x'))
        << field->text().size() << " characters";
    sheet.controller().apply();
    EXPECT_TRUE(f.h.session().project->name == name);
}

TEST(ProjectSettingsSheet, ReturnAppliesAndEscapeCancels)
{
    SettingsFixture f;
    f.project("Trip", 1920, 1200, 12);
    std::vector<std::string> calls;
    ProjectSettingsSheet sheet(
        f.h.engine, {"None", "look.cube"}, [&] { calls.push_back("apply"); }, [&] { calls.push_back("dismiss"); });
    sheet.show();
    sheet.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&sheet));

    // Shown: filled in from the project.
    auto* name = sheet.findChild<QLineEdit*>("projectNameField");
    auto* width = sheet.findChild<QLineEdit*>("customWidthField");
    ASSERT_TRUE(name && width);
    EXPECT_EQ(name->text(), "Trip");
    EXPECT_TRUE(sheet.findChild<QWidget*>("customSizeRow")->isVisible());
    EXPECT_EQ(width->text(), width->locale().toString(1920));
    EXPECT_EQ(sheet.findChild<QLabel*>("aspectLabel")->text(), "1.60:1");
    EXPECT_EQ(sheet.findChild<QComboBox*>("frameRatePicker")->currentIndex(), -1); // 12 fps is not offered
    EXPECT_EQ(sheet.findChild<QComboBox*>("resolutionPicker")->currentText(), QString::fromUtf8("Custom\u2026"));

    // Typing edits the fields; Escape only dismisses.
    name->setFocus();
    QTest::keyClicks(name, " Two");
    EXPECT_EQ(sheet.controller().projectName(), "Trip Two");
    QTest::keyClick(name, Qt::Key_Escape);
    EXPECT_EQ(calls, (std::vector<std::string>{"dismiss"}));
    EXPECT_EQ(f.h.session().project->name, "Trip");

    // Return applies what the fields hold.
    width->setFocus();
    width->selectAll();
    QTest::keyClicks(width, "2000");
    QTest::keyClick(width, Qt::Key_Return);
    EXPECT_EQ(calls, (std::vector<std::string>{"dismiss", "apply", "dismiss"}));
    EXPECT_EQ(f.h.session().project->name, "Trip Two");
    EXPECT_EQ(f.h.session().project->width, 2000);
    EXPECT_EQ(f.h.session().project->height, 1200);
    EXPECT_EQ(f.h.session().project->fps, 12);

    // The next presentation fills in afresh.
    sheet.hide();
    sheet.show();
    EXPECT_EQ(sheet.controller().customWidth(), 2000);
}

} // namespace
} // namespace velmora::test
