// Command-line parsing and the temporary-file-then-rename output.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "program/cli.h"
#include "program/output_file.h"
#include "support/test_files.h"

namespace brevix::mp4 {
namespace {

ParseResult parse(const std::vector<std::string>& args) {
    return parse_command_line(args);
}

TEST(CommandLine, ParsesTheFrontEndsCommand) {
    const ParseResult r =
        parse({"-nh", "-wn", "716", "-eb", ".aac", "-r", "128000", "-c", "-lc", "-eo", ".wav",
               "C:\\music\\song.wav", "-o", "C:\\music\\song.aac"});
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_FALSE(r.options.banner);
    EXPECT_TRUE(r.options.has_window);
    EXPECT_EQ(r.options.window, 716);
    EXPECT_EQ(r.options.bit_rate, 128000);
    EXPECT_TRUE(r.options.constant_rate);
    EXPECT_EQ(r.options.profile, aac::Profile::kLowComplexity);
    EXPECT_EQ(r.options.input, "C:\\music\\song.wav");
    EXPECT_EQ(r.options.output, "C:\\music\\song.aac");
}

TEST(CommandLine, SwitchesInAnyOrderAndDefaults) {
    ParseResult r = parse({"-o", "out.aac", "-main", "in.wav"});
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.options.profile, aac::Profile::kMain);
    EXPECT_EQ(r.options.input, "in.wav");
    EXPECT_EQ(r.options.output, "out.aac");
    EXPECT_EQ(r.options.bit_rate, 0);  // chosen from the input later
    EXPECT_FALSE(r.options.constant_rate);
    EXPECT_TRUE(r.options.banner);
    EXPECT_FALSE(r.options.has_window);

    r = parse({"in.wav", "-o", "out.aac"});
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.options.profile, aac::Profile::kLowComplexity);  // default profile
}

TEST(CommandLine, WindowHandlesAreSigned32BitDecimals) {
    EXPECT_EQ(parse({"-wn", "-2147483648", "a", "-o", "b"}).options.window, INT32_MIN);
    EXPECT_EQ(parse({"-wn", "2147483647", "a", "-o", "b"}).options.window, INT32_MAX);
    EXPECT_EQ(parse({"-wn", "4294967295", "a", "-o", "b"}).options.window, -1);  // unsigned form
    EXPECT_FALSE(parse({"-wn", "0x10", "a", "-o", "b"}).ok);
    EXPECT_FALSE(parse({"-wn", "4294967296", "a", "-o", "b"}).ok);
}

TEST(CommandLine, DefaultExtensionsApplyOnlyToNamesWithout) {
    ParseResult r = parse({"-eo", ".wav", "-eb", "aac", "dir.v2/song", "-o", "out"});
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.options.input, "dir.v2/song.wav");  // a dot in a folder name does not count
    EXPECT_EQ(r.options.output, "out.aac");
    r = parse({"-eo", ".wav", "-eb", ".aac", "C:\\a.b\\song.flac", "-o", "x.m4a"});
    EXPECT_EQ(r.options.input, "C:\\a.b\\song.flac");
    EXPECT_EQ(r.options.output, "x.m4a");
    EXPECT_EQ(file_name_of("C:\\music\\song.wav"), "song.wav");
    EXPECT_EQ(file_name_of("/tmp/x/y.wav"), "y.wav");
}

TEST(CommandLine, UnquotedOutputPathsWithSpacesAreJoined) {
    // The front end inserts the output path without quotes: it arrives in pieces.
    const ParseResult r =
        parse({"-r", "64000", "C:\\in.wav", "-o", "C:\\My", "Music\\new", "song.aac"});
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.options.input, "C:\\in.wav");
    EXPECT_EQ(r.options.output, "C:\\My Music\\new song.aac");
    // Before the input is known, a bare word after the output is the input.
    const ParseResult first = parse({"-o", "out.aac", "in.wav"});
    ASSERT_TRUE(first.ok);
    EXPECT_EQ(first.options.input, "in.wav");
    EXPECT_EQ(first.options.output, "out.aac");
}

TEST(CommandLine, ErrorsNameTheProblem) {
    struct Case {
        std::vector<std::string> args;
        std::string words;
    };
    const std::vector<Case> cases = {
        {{"-x", "a", "-o", "b"}, "unknown switch '-x'"},
        {{"a", "-o", "b", "-r"}, "-r needs a value"},
        {{"a", "-o"}, "-o needs a value"},
        {{"-wn"}, "-wn needs a value"},
        {{"-r", "fast", "a", "-o", "b"}, "'fast' is not a bit rate"},
        {{"-r", "-5", "a", "-o", "b"}, "is not a bit rate"},
        {{"-r", "128000x", "a", "-o", "b"}, "is not a bit rate"},
        {{"-r", "99999999999", "a", "-o", "b"}, "is not a bit rate"},
        {{"-wn", "window", "a", "-o", "b"}, "is not a window handle"},
        {{"-ssr", "a", "-o", "b"}, "the SSR profile is not supported by this encoder"},
        {{"-o", "b"}, "no input file"},
        {{"a"}, "no output file"},
        {{"a", "b", "-o", "c"}, "unexpected argument 'b'"},
        {{"a", "-o", "b", "-o", "c"}, "more than one output"},
        {{"a", "-o", ""}, "output file name is empty"},
    };
    for (const Case& c : cases) {
        const ParseResult r = parse(c.args);
        EXPECT_FALSE(r.ok) << c.words;
        EXPECT_NE(r.error.find(c.words), std::string::npos) << "got: " << r.error;
    }
    // The window handle is known even when a later argument is wrong, so the error can be
    // shown in that window.
    const ParseResult r = parse({"-wn", "42", "-ssr", "a", "-o", "b"});
    EXPECT_FALSE(r.ok);
    EXPECT_TRUE(r.options.has_window);
    EXPECT_EQ(r.options.window, 42);
}

TEST(CommandLine, HelpNeedsNothingElse) {
    const ParseResult r = parse({"-h"});
    EXPECT_TRUE(r.ok);
    EXPECT_TRUE(r.options.help);
    EXPECT_NE(usage_text().find("-wn HANDLE"), std::string::npos);
}

TEST(OutputFile, CommitReplacesTheOutputInOneStep) {
    test::TempDir dir;
    const std::string final_path = dir.file("out file.aac");
    test::write_file(final_path, {1, 2, 3});
    {
        OutputFile out(final_path);
        EXPECT_EQ(out.temp_path().rfind(final_path + ".", 0), 0u);  // beside the output
        out.write("abcd", 4);
        EXPECT_EQ(test::read_file(final_path), (std::vector<std::uint8_t>{1, 2, 3}));
        out.commit();
    }
    EXPECT_EQ(test::read_file(final_path), (std::vector<std::uint8_t>{'a', 'b', 'c', 'd'}));
    EXPECT_EQ(dir.list().size(), 1u);  // no temporary file left
}

TEST(OutputFile, AbandonedOutputLeavesTheOldFileAndNoTemporary) {
    test::TempDir dir;
    const std::string final_path = dir.file("out.aac");
    test::write_file(final_path, {9, 9});
    {
        OutputFile out(final_path);
        out.write("partial", 7);
        EXPECT_TRUE(test::file_exists(out.temp_path()));
    }
    EXPECT_EQ(test::read_file(final_path), (std::vector<std::uint8_t>{9, 9}));
    EXPECT_EQ(dir.list(), std::vector<std::string>{"out.aac"});
}

TEST(OutputFile, UnwritableLocationIsReported) {
    test::TempDir dir;
    try {
        OutputFile out(dir.file("missing-folder/out.aac"));
        ADD_FAILURE();
    } catch (const std::runtime_error& e) {
        EXPECT_NE(std::string(e.what()).find("cannot create the output file"), std::string::npos);
        EXPECT_NE(std::string(e.what()).find("missing-folder/out.aac"), std::string::npos);
    }
}

}  // namespace
}  // namespace brevix::mp4
