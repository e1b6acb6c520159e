// The mp4 program: its command line, the output written under a temporary name, and the
// program as a caller sees it (exit codes, messages, an existing output that survives any
// failure or interruption, names with spaces and without extensions).
#include <string>
#include <vector>

#include "program/cli.h"
#include "program/output_file.h"
#include "support.h"

namespace brevix::mp4 {
namespace {

ParseResult parse(const std::vector<std::string>& args) {
    return parse_command_line(args);
}

TEST(CommandLine, ReadsTheFrontEndsCommandAndSwitchesInAnyOrder) {
    ParseResult r = parse({"-nh", "-wn", "716", "-eb", ".aac", "-r", "128000", "-c", "-lc", "-eo",
                           ".wav", "C:\\music\\song", "-o", "C:\\My", "Music\\new", "song"});
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_FALSE(r.options.banner);
    EXPECT_TRUE(r.options.has_window && r.options.constant_rate);
    EXPECT_EQ(r.options.window, 716);
    EXPECT_EQ(r.options.bit_rate, 128000);
    EXPECT_EQ(r.options.profile, aac::Profile::kLowComplexity);
    EXPECT_EQ(r.options.input, "C:\\music\\song.wav");
    // An output path with spaces passed unquoted arrives in pieces, joined again.
    EXPECT_EQ(r.options.output, "C:\\My Music\\new song.aac");

    r = parse({"-o", "out.aac", "-main", "in.wav"});  // a bare word after -o is the input
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.options.profile, aac::Profile::kMain);
    EXPECT_EQ(r.options.input, "in.wav");
    EXPECT_EQ(r.options.output, "out.aac");
    EXPECT_EQ(r.options.bit_rate, 0);
    EXPECT_TRUE(r.options.banner && !r.options.has_window && !r.options.constant_rate);
    EXPECT_TRUE(parse({"-h"}).options.help);

    r = parse({"-eo", "wav", "-eb", ".aac", "dir.v2/song", "-o", "C:\\a.b\\x.m4a"});
    EXPECT_EQ(r.options.input, "dir.v2/song.wav");  // a dot in a folder name does not count
    EXPECT_EQ(r.options.output, "C:\\a.b\\x.m4a");
    EXPECT_EQ(file_name_of("C:\\music\\song.wav"), "song.wav");
    EXPECT_EQ(file_name_of("/tmp/x/y.wav"), "y.wav");
    for (const char* name : {"song.mp4", "C:\\music\\Song.M4A", "/a b/x.Mp4"}) {
        EXPECT_TRUE(is_mp4_name(name)) << name;
    }
    for (const char* name : {"song.aac", "song.mp4.aac", "mp4", "song_m4a"}) {
        EXPECT_FALSE(is_mp4_name(name)) << name;
    }
}

TEST(CommandLine, WindowHandlesAreSigned32BitDecimals) {
    EXPECT_EQ(parse({"-wn", "-2147483648", "a", "-o", "b"}).options.window, INT32_MIN);
    EXPECT_EQ(parse({"-wn", "2147483647", "a", "-o", "b"}).options.window, INT32_MAX);
    EXPECT_EQ(parse({"-wn", "4294967295", "a", "-o", "b"}).options.window, -1);  // unsigned
    // The handle is known even when a later argument is wrong, so the error can be shown
    // in that window.
    const ParseResult r = parse({"-wn", "42", "-ssr", "a", "-o", "b"});
    EXPECT_FALSE(r.ok);
    EXPECT_TRUE(r.options.has_window);
    EXPECT_EQ(r.options.window, 42);
}

TEST(CommandLine, ErrorsNameTheProblem) {
    const struct {
        std::vector<std::string> args;
        const char* words;
    } cases[] = {
        {{"-x", "a", "-o", "b"}, "unknown switch '-x'"},
        {{"a", "-o", "b", "-r"}, "-r needs a value"},
        {{"a", "-o"}, "-o needs a value"},
        {{"-r", "fast", "a", "-o", "b"}, "'fast' is not a bit rate"},
        {{"-r", "-5", "a", "-o", "b"}, "is not a bit rate"},
        {{"-r", "128000x", "a", "-o", "b"}, "is not a bit rate"},
        {{"-r", "99999999999", "a", "-o", "b"}, "is not a bit rate"},
        {{"-wn", "0x10", "a", "-o", "b"}, "is not a window handle"},
        {{"-wn", "4294967296", "a", "-o", "b"}, "is not a window handle"},
        {{"-ssr", "a", "-o", "b"}, "the SSR profile is not supported by this encoder"},
        {{"-o", "b"}, "no input file"},
        {{"a"}, "no output file"},
        {{"a", "b", "-o", "c"}, "unexpected argument 'b'"},
        {{"a", "-o", "b", "-o", "c"}, "more than one output"},
        {{"a", "-o", "b", "-c", "c"}, "unexpected argument 'c'"},  // a switch ends the output
        {{"a", "-o", ""}, "output file name is empty"},
    };
    for (const auto& c : cases) {
        const ParseResult r = parse(c.args);
        EXPECT_FALSE(r.ok) << c.words;
        EXPECT_NE(r.error.find(c.words), std::string::npos) << "got: " << r.error;
    }
}

TEST(OutputFile, TheOutputChangesOnlyWhenCommitted) {
    TempFolder dir;
    const std::string path = dir.file("out file.aac");
    ASSERT_TRUE(wav::write_file(path, {1, 2, 3}));
    {
        OutputFile abandoned(path);
        abandoned.write("partial", 7);
    }
    EXPECT_EQ(wav::read_file(path), (wav::Bytes{1, 2, 3}));
    EXPECT_EQ(dir.names().size(), 1u) << "the temporary file is gone";
    {
        OutputFile out(path);
        EXPECT_EQ(out.temp_path().rfind(path + ".", 0), 0u) << "beside the output";
        out.write("abcd", 4);
        out.write_at(1, "X", 1);
        EXPECT_EQ(wav::read_file(path), (wav::Bytes{1, 2, 3}));
        out.commit();
    }
    EXPECT_EQ(wav::read_file(path), (wav::Bytes{'a', 'X', 'c', 'd'}));
    EXPECT_EQ(dir.names().size(), 1u);
    try {
        OutputFile out(dir.file("missing-folder/out.aac"));
        ADD_FAILURE();
    } catch (const std::runtime_error& e) {
        EXPECT_NE(std::string(e.what()).find("cannot create the output file '" +
                                             dir.file("missing-folder/out.aac")),
                  std::string::npos);
    }
}

class Program : public ::testing::Test {
protected:
    std::string stereo_wav(const std::string& name, int samples = 22050) {
        const std::string path = dir_.file(name);
        EXPECT_TRUE(wav::write_file(
            path, wav::file(std::vector<test::Signal>{test::sine(440, 0.3, samples),
                                                      test::sine(550, 0.3, samples)},
                            44100)));
        return path;
    }
    std::string fixture(const std::string& name, const wav::Bytes& bytes) {
        EXPECT_TRUE(wav::write_file(dir_.file(name), bytes));
        return dir_.file(name);
    }
    // The ADTS header's profile field, or -1 when the file is no ADTS stream.
    int adts_profile(const std::string& path) {
        const wav::Bytes b = wav::read_file(path);
        return b.size() > 7 && b[0] == 0xFF && (b[1] & 0xF6) == 0xF0 ? b[2] >> 6 : -1;
    }

    TempFolder dir_;
};

TEST_F(Program, EncodesWhatTheFrontEndAsksForAndPrintsWhatItShould) {
    EXPECT_NE(test::mp4({"-h"}).out.find("Usage: mp4"), std::string::npos);
    const std::string in = stereo_wav("my song.wav");
    bench::ChildRun r = test::mp4({in, "-o", dir_.file("banner.aac")});
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_NE(r.err.find("AAC encoder"), std::string::npos) << "the banner";
    EXPECT_EQ(adts_profile(dir_.file("banner.aac")), 1);
    // Names without extensions, a window handle (progress goes to the console where there
    // is no window) and an unquoted output path with spaces.
    r = test::mp4({"-nh", "-wn", "716", "-eb", ".aac", "-r", "128000", "-c", "-main", "-eo", ".wav",
                   dir_.file("my song"), "-o", dir_.file("two  spaces"), "and", "more"});
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(r.err.find("AAC encoder"), std::string::npos);
    EXPECT_EQ(adts_profile(dir_.file("two  spaces and more.aac")), 0) << "Main profile";
}

TEST_F(Program, RefusesWithAnExitCodeAndAMessageAndKeepsAnExistingOutput) {
    const std::string in = stereo_wav("in.wav");
    const std::string out = fixture("keep.aac", {'o', 'l', 'd'});
    const std::string seven = fixture("seven.wav", wav::file({1, 7, 44100, 16}, wav::Bytes(14)));
    const struct {
        std::vector<std::string> args;
        int exit_code;
        std::string words;
    } cases[] = {
        {{"-q", in, "-o", out}, 2, "unknown switch '-q'"},
        {{"-ssr", in, "-o", out}, 2, "the SSR profile is not supported by this encoder"},
        {{dir_.file("missing.wav"), "-o", out}, 1, "input '" + dir_.file("missing.wav")},
        {{seven, "-o", out}, 1, "7 channels are not supported"},
        {{"-r", "4000", in, "-o", out}, 1, "bit rate 4000 bits/s is outside 16000..529200"},
        {{"-r", "900000", in, "-o", out}, 1, "bit rate 900000"},
        {{in, "-o", in}, 1, "must not be the input"},
        {{in, "-o", dir_.file("no-such-folder/x.aac")}, 1, "cannot create the output file"},
    };
    for (const auto& c : cases) {
        const bench::ChildRun r = test::mp4(c.args);
        EXPECT_EQ(r.exit_code, c.exit_code) << c.words;
        EXPECT_NE(r.err.find(c.words), std::string::npos) << r.err;
    }
    EXPECT_EQ(wav::read_file(out), (wav::Bytes{'o', 'l', 'd'}));
    EXPECT_EQ(dir_.names().size(), 3u) << "the inputs and keep.aac, no temporary";
    // A successful run replaces it.
    EXPECT_EQ(test::mp4({"-nh", in, "-o", out}).exit_code, 0);
    EXPECT_EQ(adts_profile(out), 1);
}

TEST_F(Program, AnInterruptedRunKeepsTheExistingOutputAndLeavesNoTemporary) {
    const std::string in = fixture(
        "long.wav", wav::file(std::vector<test::Signal>{test::noise(0.3, 44100 * 120, 4)}, 44100));
    const std::string out = fixture("keep.aac", {'o', 'l', 'd'});
    // SIGINT a fifth of a second in: the temporary file exists by then, and two minutes of
    // noise take far longer to encode.
    const bench::ChildRun r = bench::run_child(
        {"timeout", "--preserve-status", "-s", "INT", "0.2", MP4_BINARY, "-nh", in, "-o", out},
        true);
    EXPECT_EQ(r.exit_code, 1) << r.err;
    EXPECT_EQ(wav::read_file(out), (wav::Bytes{'o', 'l', 'd'}));
    EXPECT_EQ(dir_.names().size(), 2u) << "the temporary file must be gone";
}

}  // namespace
}  // namespace brevix::mp4
