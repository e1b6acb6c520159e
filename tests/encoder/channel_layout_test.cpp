// Channels: the elements and instance tags of each channel configuration, where each WAV
// speaker goes (with and without a channel mask), the mask read from the file, and the
// channel configuration in ADTS headers.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "core/adts_writer.h"
#include "core/channel_config.h"
#include "core/speaker_map.h"
#include "core/wav_reader.h"
#include "program/cli.h"
#include "support/test_files.h"

namespace brevix::aac {
namespace {

TEST(ChannelConfiguration, ElementsAndTagsFollowTheStandardOrder) {
    struct Expected {
        int channels;
        std::vector<std::pair<ElementId, int>> elements;  // (type, tag)
    };
    const ElementId sce = ElementId::kSce;
    const ElementId cpe = ElementId::kCpe;
    const ElementId lfe = ElementId::kLfe;
    const std::vector<Expected> cases = {
        {1, {{sce, 0}}},
        {2, {{cpe, 0}}},
        {3, {{sce, 0}, {cpe, 0}}},
        {4, {{sce, 0}, {cpe, 0}, {sce, 1}}},
        {5, {{sce, 0}, {cpe, 0}, {cpe, 1}}},
        {6, {{sce, 0}, {cpe, 0}, {cpe, 1}, {lfe, 0}}},
    };
    for (const Expected& c : cases) {
        const ElementLayout layout = element_layout(c.channels);
        EXPECT_EQ(layout.configuration, c.channels);
        ASSERT_EQ(layout.count, static_cast<int>(c.elements.size())) << c.channels;
        int channel = 0;
        for (int e = 0; e < layout.count; ++e) {
            const ChannelElement& element = layout.elements[e];
            EXPECT_EQ(element.id, c.elements[static_cast<std::size_t>(e)].first);
            EXPECT_EQ(element.tag, c.elements[static_cast<std::size_t>(e)].second);
            EXPECT_EQ(element.first, channel);
            channel += element.channels();
        }
        EXPECT_EQ(channel, c.channels);
    }
    EXPECT_THROW(element_layout(0), std::invalid_argument);
    EXPECT_THROW(element_layout(7), std::invalid_argument);
}

TEST(SpeakerMap, EverySpeakerGoesToItsPlace) {
    constexpr int x = -1;  // silent
    struct Case {
        int channels;
        std::uint32_t mask;
        int coded;
        std::vector<int> source;  // per coded channel (C, L, R, ...): the WAV channel
    };
    const std::vector<Case> cases = {
        // Plain files: the usual order for the count.
        {3, 0, 3, {2, 0, 1}},           // FL FR FC
        {4, 0, 5, {x, 0, 1, 2, 3}},     // quad: silent centre
        {5, 0, 5, {2, 0, 1, 3, 4}},     // FL FR FC BL BR
        {6, 0, 6, {2, 0, 1, 4, 5, 3}},  // FL FR FC LFE BL BR
        // Masks.
        {4, 0x107, 4, {2, 0, 1, 3}},        // FL FR FC BC
        {6, 0x60F, 6, {2, 0, 1, 4, 5, 3}},  // 5.1 with side surrounds
        {3, 0x00B, 6, {x, 0, 1, x, x, 2}},  // 2.1
        {3, 0x103, 4, {x, 0, 1, 2}},        // FL FR BC
        {4, 0x033, 5, {x, 0, 1, 2, 3}},     // quad, named
        {3, 0x03F, 3, {2, 0, 1}},           // more speakers than channels: the first ones
        {5, 0x003, 5, {2, 0, 1, 3, 4}},     // fewer: ignored
        // Mono and stereo stay as they are.
        {1, 0x8, 1, {0}},
        {2, 0x30, 2, {0, 1}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.channels << " channels, mask " << c.mask);
        const SpeakerMap map = map_speakers(c.channels, c.mask);
        ASSERT_EQ(map.coded_channels, c.coded);
        for (int i = 0; i < c.coded; ++i) {
            EXPECT_EQ(map.source[i], c.source[static_cast<std::size_t>(i)]) << "coded " << i;
        }
    }
}

TEST(SpeakerMap, RefusesLayoutsNoConfigurationHolds) {
    struct Case {
        int channels;
        std::uint32_t mask;
        std::string words;
    };
    const std::vector<Case> cases = {
        {6, 0x633, "two speakers share one place"},  // back and side surrounds
        {5, 0x10F, "back centre"},                   // back centre with LFE
        {4, 0x0C3, "has no place"},                  // front left/right of centre
    };
    for (const Case& c : cases) {
        try {
            map_speakers(c.channels, c.mask);
            ADD_FAILURE() << c.mask;
        } catch (const std::invalid_argument& e) {
            EXPECT_NE(std::string(e.what()).find(c.words), std::string::npos) << e.what();
        }
    }
    EXPECT_THROW(map_speakers(7, 0), std::invalid_argument);
    EXPECT_THROW(map_speakers(0, 0), std::invalid_argument);
}

TEST(SpeakerMap, TheChannelMaskIsReadFromExtensibleFiles) {
    test::TempDir dir;
    const std::vector<std::vector<double>> six(6, std::vector<double>(10, 0.1));
    test::write_wav(dir.file("mask.wav"), six, 44100, 16, 0x60F);
    test::write_wav(dir.file("plain.wav"), six, 44100, 16);
    EXPECT_EQ(WavReader(dir.file("mask.wav")).format().channel_mask, 0x60Fu);
    EXPECT_EQ(WavReader(dir.file("plain.wav")).format().channel_mask, 0u);
}

TEST(ChannelConfiguration, AdtsHeadersCarryIt) {
    for (int channels = 1; channels <= 6; ++channels) {
        std::uint8_t header[AdtsWriter::kHeaderBytes];
        AdtsWriter::make_header({Profile::kLowComplexity, 44100, channels}, 100, 0x7FF, header);
        EXPECT_EQ(((header[2] & 1) << 2) | (header[3] >> 6), channels);
    }
}

TEST(OutputNames, Mp4AndM4aGetAnMp4File) {
    EXPECT_TRUE(mp4::is_mp4_name("song.mp4"));
    EXPECT_TRUE(mp4::is_mp4_name("C:\\music\\Song.M4A"));
    EXPECT_TRUE(mp4::is_mp4_name("/a b/x.Mp4"));
    EXPECT_FALSE(mp4::is_mp4_name("song.aac"));
    EXPECT_FALSE(mp4::is_mp4_name("song.mp4.aac"));
    EXPECT_FALSE(mp4::is_mp4_name("mp4"));
    EXPECT_FALSE(mp4::is_mp4_name("song_m4a"));
}

}  // namespace
}  // namespace brevix::aac
