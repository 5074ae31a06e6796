#include <gtest/gtest.h>

#include "WorkspaceTestSupport.h"

namespace velmora::test {
namespace {

using OutputSettings::Compensation;

TEST(OutputSettings, BitrateTextBecomesBitsPerSecondOrAutomatic)
{
    using OutputSettings::bitrateOverrideBps;
    EXPECT_EQ(bitrateOverrideBps("50"), 50'000'000);
    EXPECT_EQ(bitrateOverrideBps(" 12,5 \n"), 12'500'000);
    EXPECT_EQ(bitrateOverrideBps("1e2"), 100'000'000);
    EXPECT_EQ(bitrateOverrideBps("0x10"), 16'000'000);
    EXPECT_EQ(bitrateOverrideBps("+7.9999999"), 7'999'999);
    // Positive but below one bit per second: a value, not automatic.
    EXPECT_EQ(bitrateOverrideBps("0.0000001"), 0);
    EXPECT_EQ(bitrateOverrideBps("9e12"), 9'000'000'000'000'000'000);
    for (const char* automatic : {"", "   ", "abc", "-5", "0", "1,234.5", "12 5", "inf", "nan", "1e400", "1e13"})
        EXPECT_EQ(bitrateOverrideBps(automatic), std::nullopt) << automatic;
}

TEST(OutputSettings, ValueTextsAndRangesFollowTheSliders)
{
    EXPECT_EQ(OutputSettings::valueText(Compensation::contrast, 1), "1.00");
    EXPECT_EQ(OutputSettings::valueText(Compensation::saturation, 0.4), "0.40");
    EXPECT_EQ(OutputSettings::valueText(Compensation::brightness, 0), "0.000");
    EXPECT_EQ(OutputSettings::valueText(Compensation::tint, 0), "+0.000");
    EXPECT_EQ(OutputSettings::valueText(Compensation::tint, -0.0), "+0.000");
    EXPECT_EQ(OutputSettings::valueText(Compensation::tint, -0.5), "-0.500");
    EXPECT_EQ(OutputSettings::clampedValue(Compensation::contrast, 3), 2.5);
    EXPECT_EQ(OutputSettings::clampedValue(Compensation::brightness, -1), -0.25);
    EXPECT_EQ(OutputSettings::clampedValue(Compensation::saturation, std::nan("")), 1.0);
}

class Settings : public WorkspaceTest {
protected:
    // A timeline job with its folder and a still on screen, so that changes may render.
    void showAStill()
    {
        loadJob(writeTimelineJob());
        chooseMediaFolder(dir.path());
        controller->refreshPreview();
        exporter->finishPreview(0, {QImage(4, 2, QImage::Format_RGBA8888), 0, 0, 0, 1, "a.mp4", "g"});
        runUntil([&] { return !controller->isPreviewing(); });
    }
};

TEST_F(Settings, ResetRestoresNeutralInOrderAndSchedulesOnlyRealChanges)
{
    showAStill();
    std::vector<std::string> order;
    for (auto [changed, name] : {std::pair{&ExportWorkspaceController::compContrastChanged, "contrast"},
                                 {&ExportWorkspaceController::compSaturationChanged, "saturation"},
                                 {&ExportWorkspaceController::compBrightnessChanged, "brightness"},
                                 {&ExportWorkspaceController::compTintChanged, "tint"}})
        QObject::connect(controller.get(), changed, [&order, name = name] { order.push_back(name); });

    controller->resetCompensation();
    EXPECT_EQ(queue->pendingCount(), 0);
    EXPECT_EQ(order, (std::vector<std::string>{"contrast", "saturation", "brightness", "tint"}));

    controller->setCompensation(Compensation::tint, -0.3);
    controller->resetCompensation();
    EXPECT_EQ(controller->compTint(), 0.0);
    EXPECT_EQ(queue->pendingCount(), 1);
    queue->advance(0.25);
    EXPECT_EQ(exporter->previewCall(1).request.look, JobLook{});
}

TEST_F(Settings, OnlyGammaAndCompensationReachThePreview)
{
    showAStill();
    controller->setOutputContainer("mov");
    controller->setBitrateMbps("80");
    controller->setGammaMode("rec709");
    EXPECT_EQ(queue->pendingCount(), 0);
    controller->setGammaMode("g24");
    EXPECT_EQ(queue->pendingCount(), 1);
    queue->advance(0.25);
    EXPECT_EQ(exporter->previewCall(1).request.look, (JobLook{"g24", 1, 1, 0, 0}));
}

} // namespace
} // namespace velmora::test
