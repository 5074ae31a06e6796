#include <gtest/gtest.h>

#include "WorkspaceTestSupport.h"
#include "export/WriterSettings.h"

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

// The Bitrate field's text reaches the export as bits per second, which the export takes from 1 b/s
// to 10 Gb/s and refuses one bit past either bound.
TEST(OutputSettings, TheBitrateFieldIsHeldToOneBitToTenGigabitsPerSecond)
{
    using OutputSettings::bitrateOverrideBps;
    const std::string limit =
        " b/s is not supported: a bit rate must be a whole number of 1 to 10000000000 bits per second.";
    for (const auto& [field, bps] : {std::pair{"10000", std::int64_t{10'000'000'000}}, {"0.000001", 1}}) {
        EXPECT_EQ(bitrateOverrideBps(field), bps) << field;
        EXPECT_NO_THROW(Exporter::requireExportableBitrate(bitrateOverrideBps(field))) << field;
    }
    for (const auto& [field, bps] : {std::pair{"10000.000001", std::int64_t{10'000'000'001}}, {"0.0000001", 0}}) {
        EXPECT_EQ(bitrateOverrideBps(field), bps) << field;
        try {
            Exporter::requireExportableBitrate(bitrateOverrideBps(field));
            ADD_FAILURE() << field << " was accepted";
        } catch (const Error& error) {
            EXPECT_EQ(error.domain(), "export");
            EXPECT_EQ(error.code(), 216);
            EXPECT_EQ(error.message(), "The bit rate " + std::to_string(bps) + limit);
        }
    }
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
