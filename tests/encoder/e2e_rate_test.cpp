// Constant bit rate: over a 10-second clip, the output size divided by the source's
// duration stays within 5 % of -r, at low, middle and high rates.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/process.h"
#include "support/test_files.h"

namespace brevix::test {
namespace {

// Music-like material: a chord, a little noise and regular attacks, different per side.
std::vector<std::vector<double>> program_material(int n) {
    const std::vector<double> left =
        add(add(chord({196, 247, 294, 392, 988}, 0.5, n, 44100), white_noise(0.03, n, 1)),
            clicks(n, 44100, 22050));
    const std::vector<double> right =
        add(add(chord({147, 220, 370, 740}, 0.5, n, 44100), white_noise(0.03, n, 2)),
            clicks(n, 44100, 14700));
    return {left, right};
}

TEST(BitRate, ConstantRateStaysWithinFivePercent) {
    TempDir dir;
    const int n = 44100 * 10;
    const std::string wav = dir.file("ten_seconds.wav");
    write_wav(wav, program_material(n), 44100);
    for (int rate : {64000, 128000, 256000}) {
        const std::string aac = dir.file(std::to_string(rate) + ".aac");
        const ProcessResult r =
            run_process({mp4_binary(), "-nh", "-c", "-r", std::to_string(rate), wav, "-o", aac});
        ASSERT_EQ(r.exit_code, 0) << r.err;
        const double seconds = static_cast<double>(n) / 44100.0;
        const double measured = static_cast<double>(read_file(aac).size()) * 8.0 / seconds;
        std::printf("[ measure  ] -r %d: %.0f bits/s\n", rate, measured);
        EXPECT_NEAR(measured, rate, rate * 0.05) << "-r " << rate;
    }
}

TEST(BitRate, VariableModeNeverExceedsTheRate) {
    TempDir dir;
    const int n = 44100 * 10;
    const std::string wav = dir.file("ten_seconds.wav");
    write_wav(wav, program_material(n), 44100);
    const std::string aac = dir.file("abr.aac");
    const ProcessResult r = run_process({mp4_binary(), "-nh", "-r", "128000", wav, "-o", aac});
    ASSERT_EQ(r.exit_code, 0) << r.err;
    const double measured = static_cast<double>(read_file(aac).size()) * 8.0 / (n / 44100.0);
    std::printf("[ measure  ] variable 128000: %.0f bits/s\n", measured);
    EXPECT_LT(measured, 128000 * 1.05);
    EXPECT_GT(measured, 128000 * 0.5);
}

}  // namespace
}  // namespace brevix::test
