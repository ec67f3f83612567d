#include "FunctionTestSupport.h"

#include "functions/view/FrameRateFunction.h"

#include <gtest/gtest.h>

#include <map>

namespace {

class RecordingOverlay : public IOverlayTexts {
public:
    struct Box {
        float x, y, width, height;
        std::string text;
    };
    void addText(const std::string& id, float x, float y, float w, float h) override {
        boxes[id] = {x, y, w, h, ""};
    }
    void setText(const std::string& id, const std::string& text) override { boxes.at(id).text = text; }
    void removeText(const std::string& id) override { boxes.erase(id); }
    std::map<std::string, Box> boxes;
};

class FixedRates : public IFrameStatistics {
public:
    Rates getFrameRates() const override { return rates; }
    Rates rates;
};

class FrameRateFunctionTest : public ::testing::Test, public FunctionFixture {
protected:
    FrameRateFunctionTest() {
        context.overlay = &overlay;
        context.frameStatistics = &statistics;
    }
    RecordingOverlay overlay;
    FixedRates statistics;
};

TEST_F(FrameRateFunctionTest, WritesTheRatesEveryFrameOnlyWhenTheCountersWereAskedFor) {
    {
        FrameRateFunction hidden(context);
        hidden.init();
        EXPECT_TRUE(hidden.update(Ogre::FrameEvent()));
        EXPECT_TRUE(overlay.boxes.empty());
    }
    context.showFrameCount = true;
    {
        FrameRateFunction frames(context);
        frames.init();
        frames.init();
        ASSERT_EQ(overlay.boxes.size(), 3u);
        // Stacked one line apart below the configured corner.
        EXPECT_FLOAT_EQ(overlay.boxes.at("TxtAvgFps").x, 0.125f);
        EXPECT_FLOAT_EQ(overlay.boxes.at("TxtAvgFps").y, 0.125f);
        EXPECT_FLOAT_EQ(overlay.boxes.at("TxtWorstFps").y, 0.245f);

        statistics.rates = {59.5f, 61.f, 12.25f};
        EXPECT_TRUE(frames.update(Ogre::FrameEvent()));
        EXPECT_EQ(overlay.boxes.at("TxtAvgFps").text, "Avg.FPS: 59.5");
        EXPECT_EQ(overlay.boxes.at("TxtBestFps").text, "Best FPS: 61");
        EXPECT_EQ(overlay.boxes.at("TxtWorstFps").text, "Worst FPS: 12.25");
    }
    EXPECT_TRUE(overlay.boxes.empty()) << "the texts go with the function";
}

} // namespace
