// Checks of the harness's own readers and writers, so that a wrong answer in the program
// tests is the program's and not the harness's.
#include <gtest/gtest.h>

#include <cstring>

#include "support/app.h"
#include "support/encoder_double.h"
#include "support/paths.h"
#include "support/png.h"
#include "support/resources.h"
#include "support/wav.h"

namespace brevix::e2e {
namespace {

std::vector<std::uint8_t> bytes_of(const char* text) {
    return std::vector<std::uint8_t>(text, text + std::strlen(text));
}

TEST(Harness, ChecksumsMatchKnownValues) {
    const auto digits = bytes_of("123456789");
    EXPECT_EQ(crc32(digits.data(), digits.size()), 0xCBF43926u);
    const auto word = bytes_of("Wikipedia");
    EXPECT_EQ(adler32(word.data(), word.size()), 0x11E60398u);
}

TEST(Harness, PngLayout) {
    Image image;
    image.width = 300;
    image.height = 300;  // more than one stored block of 65535 bytes
    image.rgb.assign(static_cast<std::size_t>(image.width) * image.height * 3, 0x7F);
    const auto png = encode_png(image);
    ASSERT_GT(png.size(), 8u + 25 + 12);
    EXPECT_EQ(std::memcmp(png.data(), "\x89PNG\r\n\x1A\n", 8), 0);
    EXPECT_EQ(std::memcmp(png.data() + 12, "IHDR", 4), 0);
    EXPECT_EQ(std::memcmp(png.data() + png.size() - 8, "IEND", 4), 0);
    // Image data: 300 rows of 1 + 900 bytes in stored blocks, 5 bytes of header each,
    // plus the zlib header and trailer.
    const std::size_t raw = 300 * 901;
    const std::size_t blocks = (raw + 65534) / 65535;
    const std::size_t idat_length = png[33] << 24 | png[34] << 16 | png[35] << 8 | png[36];
    EXPECT_EQ(idat_length, 2 + raw + 5 * blocks + 4);

    Image wrong = image;
    wrong.rgb.pop_back();
    EXPECT_TRUE(encode_png(wrong).empty());
}

TEST(Harness, ReadersRefuseCutData) {
    ResourceFile exe(built_program());
    ASSERT_TRUE(exe.loaded());
    const auto full = exe.bytes(102, MAKEINTRESOURCEA(5));
    ASSERT_TRUE(parse_dialog_template(full).has_value());
    // Every shorter prefix is refused without reading past its end (the last item's
    // creation data count is the last field, so only the whole template parses).
    for (std::size_t n = 0; n + 1 < full.size(); ++n) {
        const std::vector<std::uint8_t> cut(full.begin(), full.begin() + n);
        EXPECT_FALSE(parse_dialog_template(cut).has_value()) << n;
    }

    // Initialisation data whose length runs past the end.
    const std::vector<std::uint8_t> init{0xF3, 0x03, 0x03, 0x04, 0xFF, 0xFF, 0, 0, 'a', 0};
    EXPECT_FALSE(parse_dialog_init(init).has_value());
    EXPECT_FALSE(parse_icon_group({0, 0, 1, 0, 5, 0}).has_value())
        << "5 entries announced, none there";
}

TEST(Harness, WavBytes) {
    EXPECT_EQ(chunk("abcd", "xyz"), std::string("abcd\x03\0\0\0xyz\0", 12)) << "padded";
    const std::string file = wav_file({1, 2, 44100, 16});
    ASSERT_EQ(file.size(), 12u + 8 + 16 + 8 + 64 * 4);
    EXPECT_EQ(file.substr(0, 4), "RIFF");
    EXPECT_EQ(file.substr(4, 4), le32(static_cast<std::uint32_t>(file.size() - 8)));
    EXPECT_EQ(file.substr(8, 8), "WAVEfmt ");
    EXPECT_EQ(file.substr(16, 4), le32(16));
    // Tag, channels, rate, bytes per second, block alignment, bits per sample.
    EXPECT_EQ(file.substr(20, 16),
              le16(1) + le16(2) + le32(44100) + le32(176400) + le16(4) + le16(16));
    EXPECT_EQ(file.substr(36, 8), "data" + le32(256));
}

TEST(Harness, EncoderLogReading) {
    TestFolder folder;
    ASSERT_TRUE(folder.write("mp4_runs.log",
                             "run\tpid=7\tshow=0\targc=3\targ0=mp4.exe\targ1=-wn\targ2=-12\t"
                             "cmd=mp4.exe -wn -12 -o a=b\r\n"
                             "run\tpid=8\tcmd=mp4.exe\r\n"
                             "done\tpid=7\twindow_alive=1\r\n"));
    const auto runs = read_encoder_log(folder.file("mp4_runs.log"));
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_EQ(runs[0].pid(), 7u);
    EXPECT_TRUE(runs[0].done);
    EXPECT_TRUE(runs[0].window_alive_at_end);
    EXPECT_EQ(runs[0].command(), "mp4.exe -wn -12 -o a=b") << "split at the first '=' only";
    EXPECT_EQ(runs[0].window_number(), "-12");
    EXPECT_EQ(runs[0].arguments(), (std::vector<std::string>{"mp4.exe", "-wn", "-12"}));
    EXPECT_FALSE(runs[1].done);
    EXPECT_EQ(runs[1].window_number(), "");
}

}  // namespace
}  // namespace brevix::e2e
