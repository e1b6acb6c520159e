// The mp4 program: its command line, the output written under a temporary name, and the
// program as a caller sees it (exit codes, messages, an existing output that survives any
// failure or interruption, names with spaces and without extensions).
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

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

    r = parse({"-eo", "wav", "-eb", ".aac", "dir.v2/song", "-o", "C:\\a.b\\x.m4a"});
    EXPECT_EQ(r.options.input, "dir.v2/song.wav");  // a dot in a folder name does not count
    EXPECT_EQ(r.options.output, "C:\\a.b\\x.m4a");
    EXPECT_EQ(file_name_of("C:\\music\\song.wav"), "song.wav");
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
        {{"-ssr", "a", "-o", "b"}, "the SSR profile is not supported by this encoder (use -lc"},
        {{"-ssr", "-wn", "5", "a", "-o", "b"},
         "The SSR profile is not supported by this encoder. Choose the Main or LC profile."},
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

TEST(OutputFile, TheOutputChangesOnlyWhenCommittedAndKeepsWhatThePathIs) {
    TempFolder dir;
    const std::string path = dir.file("out file.aac");
    ASSERT_TRUE(wav::write_file(path, {1, 2, 3}));
    ::chmod(path.c_str(), 06604);  // set-user-ID and set-group-ID do not pass to new data
    {
        OutputFile abandoned(path, false);
        abandoned.write("partial", 7);
    }
    EXPECT_EQ(wav::read_file(path), (wav::Bytes{1, 2, 3}));
    EXPECT_EQ(dir.names().size(), 1u) << "the temporary file is gone";
    // Through a symbolic link: the link stays, the file it names is replaced (keeping its
    // permissions), the temporary goes beside that file.
    ::mkdir(dir.file("sub").c_str(), 0700);
    ::symlink("../out file.aac", dir.file("sub/link.aac").c_str());
    {
        OutputFile out(dir.file("sub/link.aac"), true);
        EXPECT_EQ(out.temp_path(), dir.file("sub/../out file.aac.mp4tmp"));
        out.write("abcd", 4);
        out.write_at(1, "X", 1);
        EXPECT_EQ(wav::read_file(path), (wav::Bytes{1, 2, 3}));
        out.commit();
    }
    EXPECT_EQ(wav::read_file(path), (wav::Bytes{'a', 'X', 'c', 'd'}));
    struct stat st {};
    EXPECT_TRUE(::lstat(dir.file("sub/link.aac").c_str(), &st) == 0 && S_ISLNK(st.st_mode));
    EXPECT_TRUE(::stat(path.c_str(), &st) == 0 && (st.st_mode & 07777) == 0604);
    EXPECT_EQ(dir.names().size(), 2u);
    // A pipe (like any device) is written to directly and stays a pipe; one nobody reads,
    // or one that would have to take an MP4 file, is refused. (No real device here: a
    // fault would replace it.)
    ::mkfifo(dir.file("pipe").c_str(), 0600);
    const std::string long_name(300, 'n');
    const struct {
        std::string path;
        std::string words;
    } refused[] = {
        {dir.path(), "is a folder"},
        {dir.file("missing/x.aac"), "the folder of the output file '" + dir.file("missing/x.aac")},
        {path + "/x.aac", "the folder of the output file"},
        {dir.file(long_name), "is too long"},
        {dir.file("pipe"), "nothing reads from the pipe"},
    };
    for (const auto& r : refused) {
        test::expect_throw_saying<std::runtime_error>([&] { OutputFile out(r.path, false); },
                                                      r.words);
    }
    const int reader = ::open(dir.file("pipe").c_str(), O_RDONLY | O_NONBLOCK);
    EXPECT_THROW(OutputFile(dir.file("pipe"), true), std::runtime_error);
    {
        OutputFile pipe(dir.file("pipe"), false);
        EXPECT_EQ(pipe.temp_path(), "");
        pipe.write("abc", 3);
        pipe.commit();
    }
    char got[4] = {};
    EXPECT_EQ(::read(reader, got, sizeof got), 3);
    EXPECT_TRUE(::stat(dir.file("pipe").c_str(), &st) == 0 && S_ISFIFO(st.st_mode));
    ::close(reader);
    // A name as long as a file name may be gets a shortened temporary name of that length.
    const std::string longest = dir.file(std::string(250, 'x') + ".aac");
    EXPECT_EQ(file_name_of(temporary_path_for(longest)).size(), 255u);
    EXPECT_NE(temporary_path_for(longest), temporary_path_for(dir.file(std::string(251, 'x'))));
    EXPECT_EQ(dir.names().size(), 3u);
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
        {{dir_.path(), "-o", out}, 1, "it is a folder, not a WAV file"},
        {{"-r", "4000", in, "-o", out}, 1, "bit rate 4000 bits/s is outside 16000..529200"},
        {{"-r", "900000", in, "-o", out}, 1, "bit rate 900000"},
        {{in, "-o", in}, 1, "must not be the input"},
        {{in, "-o", dir_.file("no-such-folder/x.aac")}, 1, "the folder of the output file"},
        {{in, "-o", dir_.path()}, 1, "is a folder"},
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

TEST_F(Program, TakesOverAStaleTemporaryButNeverALiveOne) {
    const std::string in = stereo_wav("in.wav");
    const std::string out = dir_.file("out.aac");
    const std::string temp = fixture("out.aac.mp4tmp", {'o', 'l', 'd'});
    const int live = ::open(temp.c_str(), O_RDONLY);  // locked as a run that writes it
    ASSERT_EQ(::flock(live, LOCK_EX), 0);
    const bench::ChildRun r = test::mp4({"-nh", in, "-o", out});
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_NE(r.err.find("is being written by another run"), std::string::npos) << r.err;
    EXPECT_EQ(wav::read_file(temp), (wav::Bytes{'o', 'l', 'd'}));
    ::close(live);  // now it is what a killed run left behind
    EXPECT_EQ(test::mp4({"-nh", in, "-o", out}).exit_code, 0);
    EXPECT_EQ(adts_profile(out), 1);
    EXPECT_EQ(dir_.names().size(), 2u) << "in.wav and out.aac";
}

TEST_F(Program, LeavesAnythingButAStaleTemporaryAtTheTemporarysNameAlone) {
    const std::string in = stereo_wav("in.wav");
    const wav::Bytes source = wav::read_file(in);
    const std::string keep = fixture("keep.txt", {'k', 'e', 'e', 'p'});
    ::link(in.c_str(), dir_.file("input.aac.mp4tmp").c_str());
    ::link(keep.c_str(), dir_.file("hard.aac.mp4tmp").c_str());
    ::symlink("keep.txt", dir_.file("soft.aac.mp4tmp").c_str());
    ::mkfifo(dir_.file("fifo.aac.mp4tmp").c_str(), 0600);
    const struct {
        std::string input, output, words;
    } cases[] = {
        {dir_.file("input.aac.mp4tmp"), "input.aac", "has the name of the temporary file"},
        {in, "hard.aac", "is another name of a file (a hard link); move that away"},
        {in, "soft.aac", "is a symbolic link"},
        {in, "fifo.aac", "is a pipe"},
    };
    for (const auto& c : cases) {
        const bench::ChildRun r = bench::run_child(
            {"timeout", "20", MP4_BINARY, "-nh", c.input, "-o", dir_.file(c.output)}, true);
        EXPECT_EQ(r.exit_code, 1) << c.output;
        EXPECT_NE(r.err.find(c.words), std::string::npos) << r.err;
    }
    EXPECT_EQ(wav::read_file(in), source);
    EXPECT_EQ(wav::read_file(keep), (wav::Bytes{'k', 'e', 'e', 'p'}));
    EXPECT_EQ(dir_.names().size(), 6u) << "nothing written, nothing removed";
}

TEST_F(Program, HonoursAnIgnoredHangUpAndWritesToPipes) {
    const std::string in = stereo_wav("in.wav", 44100 * 10);
    // Started as nohup starts it: hang-up ignored.
    bench::ChildRun r = bench::run_child(
        {"sh", "-c", "trap '' HUP; \"$0\" -nh \"$1\" -o \"$2\" & sleep 0.2; kill -HUP $!; wait $!",
         MP4_BINARY, in, dir_.file("nohup.aac")},
        true);
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(adts_profile(dir_.file("nohup.aac")), 1);
    // Standard output, a pipe here, takes the stream as it comes.
    r = test::mp4({"-nh", in, "-o", "/dev/stdout"});
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(wav::Bytes(r.out.begin(), r.out.end()), wav::read_file(dir_.file("nohup.aac")));
    // A reader that stops early: a message and a failure, not a silent death by SIGPIPE.
    r = bench::run_child({"bash", "-c",
                          "\"$0\" -nh \"$1\" -o /dev/stdout | head -c 1 >/dev/null; "
                          "exit ${PIPESTATUS[0]}",
                          MP4_BINARY, in},
                         true);
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_NE(r.err.find("the program reading it has stopped"), std::string::npos) << r.err;
    EXPECT_EQ(dir_.names().size(), 2u);
}

TEST_F(Program, EncodesWhatATruncatedInputHoldsAndRefusesOneWithoutAudio) {
    wav::Bytes cut = wav::file(std::vector<test::Signal>{test::sine(440, 0.3, 44100)}, 44100);
    bench::ChildRun r;
    for (const auto& [bytes, amount] : {std::pair{2, "1 sample frame"}, {22048, "0.25 s"}}) {
        cut.resize(cut.size() - bytes);
        r = test::mp4({"-nh", fixture("cut.wav", cut), "-o", dir_.file("cut.aac")});
        EXPECT_EQ(r.exit_code, 0);
        EXPECT_EQ(r.err, "mp4: warning: cut.wav is truncated: " + std::string(amount) +
                             " of audio missing at its end; what is there was encoded\n");
    }
    EXPECT_EQ(adts_profile(dir_.file("cut.aac")), 1);
    cut.resize(44);  // the header alone, still claiming a second of audio
    for (const auto& [bytes, words] :
         {std::pair{cut, "holds no audio (the file ends where the audio should begin)"},
          std::pair{wav::file({1, 1}, {}), "holds no audio\n"}}) {
        r = test::mp4({"-nh", fixture("empty.wav", bytes), "-o", dir_.file("empty.aac")});
        EXPECT_EQ(r.exit_code, 1);
        EXPECT_NE(r.err.find(words), std::string::npos) << r.err;
    }
    EXPECT_EQ(dir_.names().size(), 3u) << "nothing written for the inputs without audio";
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
