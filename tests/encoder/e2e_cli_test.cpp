// The mp4 program as a caller sees it: switches, exit codes, messages, names with spaces,
// default extensions, and the promise that a failed or interrupted run never damages an
// existing output nor leaves a partial file behind.
#include <gtest/gtest.h>

#include <signal.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "support/process.h"
#include "support/test_files.h"

namespace brevix::test {
namespace {

class CliTest : public ::testing::Test {
protected:
    ProcessResult mp4(std::vector<std::string> args) {
        args.insert(args.begin(), mp4_binary());
        return run_process(args);
    }

    std::string stereo_wav(const std::string& name, double seconds = 0.5) {
        const std::string path = dir_.file(name);
        const int n = static_cast<int>(44100 * seconds);
        write_wav(path, {sine(440.0, 0.3, n, 44100), sine(550.0, 0.3, n, 44100)}, 44100);
        return path;
    }

    static bool is_adts(const std::string& path) {
        const std::vector<std::uint8_t> bytes = read_file(path);
        return bytes.size() > 7 && bytes[0] == 0xFF && (bytes[1] & 0xF6) == 0xF0;
    }

    TempDir dir_;
};

TEST_F(CliTest, HelpAndBanner) {
    ProcessResult r = mp4({"-h"});
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_NE(r.out.find("Usage: mp4"), std::string::npos);
    const std::string in = stereo_wav("a.wav");
    r = mp4({in, "-o", dir_.file("a.aac")});
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_NE(r.err.find("AAC encoder"), std::string::npos);  // banner
    r = mp4({"-nh", in, "-o", dir_.file("b.aac")});
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.err.find("AAC encoder"), std::string::npos);
}

TEST_F(CliTest, TheFrontEndsCommandLineWorks) {
    // Names given without extensions get them from -eo / -eb; the window handle is
    // accepted (progress goes to the console where there are no windows).
    stereo_wav("song.wav");
    const ProcessResult r = mp4({"-nh", "-wn", "716", "-eb", ".aac", "-r", "128000", "-c", "-main",
                                 "-eo", ".wav", dir_.file("song"), "-o", dir_.file("song")});
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_TRUE(is_adts(dir_.file("song.aac")));
    const std::vector<std::uint8_t> bytes = read_file(dir_.file("song.aac"));
    EXPECT_EQ((bytes[2] >> 6) & 3, 0);  // Main profile
}

TEST_F(CliTest, PathsWithSpaces) {
    const std::string in = stereo_wav("my input.wav");
    ProcessResult r = mp4({"-nh", in, "-o", dir_.file("my output.aac")});
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_TRUE(is_adts(dir_.file("my output.aac")));
    // Unquoted: the output path arrives in pieces.
    r = mp4({"-nh", "-lc", in, "-o", dir_.file("two  spaces"), "and", "more.aac"});
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_TRUE(is_adts(dir_.file("two  spaces and more.aac")));
}

TEST_F(CliTest, UsageErrorsExitWithTwo) {
    const std::string in = stereo_wav("in.wav");
    struct Case {
        std::vector<std::string> args;
        std::string words;
    };
    const std::vector<Case> cases = {
        {{"-q", in, "-o", dir_.file("x.aac")}, "unknown switch '-q'"},
        {{in, "-o", dir_.file("x.aac"), "-r"}, "-r needs a value"},
        {{"-r", "lots", in, "-o", dir_.file("x.aac")}, "not a bit rate"},
        {{"-ssr", in, "-o", dir_.file("x.aac")},
         "the SSR profile is not supported by this encoder"},
        {{"-o", dir_.file("x.aac")}, "no input file"},
        {{in}, "no output file"},
    };
    for (const Case& c : cases) {
        const ProcessResult r = mp4(c.args);
        EXPECT_EQ(r.exit_code, 2) << c.words;
        EXPECT_NE(r.err.find(c.words), std::string::npos) << r.err;
    }
    EXPECT_FALSE(file_exists(dir_.file("x.aac")));
}

TEST_F(CliTest, InputProblemsExitWithOneAndNameTheProblem) {
    const std::string out = dir_.file("x.aac");
    write_file(dir_.file("float.wav"), RiffBuilder()
                                           .chunk("fmt ", format_chunk(3, 2, 44100, 32))
                                           .chunk("data", std::vector<std::uint8_t>(800, 0))
                                           .bytes());
    write_file(dir_.file("seven.wav"), RiffBuilder()
                                           .chunk("fmt ", format_chunk(1, 7, 44100, 16))
                                           .chunk("data", std::vector<std::uint8_t>(700, 0))
                                           .bytes());
    write_wav(dir_.file("32k.wav"), {sine(440, 0.3, 1000, 32000)}, 32000);
    write_file(dir_.file("text.wav"),
               {'h', 'e', 'l', 'l', 'o', ' ', 'w', 'o', 'r', 'l', 'd', '!', '!'});
    const std::string in = stereo_wav("ok.wav");
    struct Case {
        std::vector<std::string> args;
        std::string words;
    };
    const std::vector<Case> cases = {
        {{dir_.file("missing.wav"), "-o", out}, "missing.wav"},
        {{dir_.file("float.wav"), "-o", out}, "floating-point"},
        {{dir_.file("seven.wav"), "-o", out}, "7 channels are not supported"},
        {{dir_.file("32k.wav"), "-o", out}, "32000 Hz is not supported"},
        {{dir_.file("text.wav"), "-o", out}, "not a WAV file"},
        {{"-r", "4000", in, "-o", out}, "bit rate 4000"},
        {{"-r", "900000", in, "-o", out}, "bit rate 900000"},
        {{in, "-o", in}, "must not be the input"},
        {{in, "-o", dir_.file("no-such-folder/x.aac")}, "cannot create the output file"},
    };
    for (const Case& c : cases) {
        const ProcessResult r = mp4(c.args);
        EXPECT_EQ(r.exit_code, 1) << c.words;
        EXPECT_NE(r.err.find(c.words), std::string::npos) << r.err;
    }
    EXPECT_FALSE(file_exists(out));
}

TEST_F(CliTest, FailedRunKeepsTheExistingOutputAndLeavesNoTemporary) {
    const std::string out = dir_.file("keep.aac");
    write_file(out, {'o', 'l', 'd'});
    write_file(dir_.file("bad.wav"),
               RiffBuilder().chunk("fmt ", format_chunk(3, 1, 44100, 32)).bytes());
    const ProcessResult r = mp4({dir_.file("bad.wav"), "-o", out});
    EXPECT_NE(r.exit_code, 0);
    EXPECT_EQ(read_file(out), (std::vector<std::uint8_t>{'o', 'l', 'd'}));
    EXPECT_EQ(dir_.list().size(), 2u) << "only bad.wav and keep.aac";
    // A successful run replaces it.
    EXPECT_EQ(mp4({"-nh", stereo_wav("good.wav"), "-o", out}).exit_code, 0);
    EXPECT_TRUE(is_adts(out));
    EXPECT_EQ(dir_.list().size(), 3u);
}

TEST_F(CliTest, InterruptedRunKeepsTheExistingOutputAndLeavesNoTemporary) {
    // Long enough that the run is still going when the signal arrives.
    const std::string in = dir_.file("long.wav");
    const int n = 44100 * 120;
    write_wav(in, {white_noise(0.3, n, 4)}, 44100);
    const std::string out = dir_.file("keep.aac");
    write_file(out, {'o', 'l', 'd'});
    RunningProcess encoder({mp4_binary(), "-nh", in, "-o", out});
    // Wait (bounded) until the temporary file exists, then interrupt.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    bool temp_seen = false;
    while (!temp_seen && !encoder.finished() && std::chrono::steady_clock::now() < deadline) {
        temp_seen = dir_.list().size() > 2;
        if (!temp_seen) {
            std::this_thread::yield();
        }
    }
    if (!temp_seen) {
        GTEST_SKIP() << "the run ended before it could be interrupted";
    }
    kill(encoder.pid(), SIGINT);
    const ProcessResult r = encoder.wait();
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(read_file(out), (std::vector<std::uint8_t>{'o', 'l', 'd'}));
    EXPECT_EQ(dir_.list().size(), 2u) << "the temporary file must be gone";
}

}  // namespace
}  // namespace brevix::test
