// Encode: the checks before anything starts, the progress window, and the encoder's
// command line as the test encoder (installed as mp4.exe beside a copy of the program)
// receives it, for every profile, both channel modes and several bit rates. Also how the
// program finds the encoder, what happens when it is missing, and the refusals for
// output paths and commands that cannot work.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>

#include "support/program_copy.h"
#include "support/screenshot.h"

namespace brevix::e2e {
namespace {

// A window handle as the encoder is given it: its 32-bit value as a signed decimal.
std::string handle_number(HWND window) {
    const auto bits = static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(window));
    return std::to_string(static_cast<std::int32_t>(bits));
}

std::string unsigned_number(HWND window) {
    return std::to_string(
        static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(window)));
}

std::string expected_command(const std::string& handle, int rate, const std::string& profile,
                             const std::string& input, const std::string& output) {
    return "mp4.exe -nh -wn " + handle + " -eb .aac -r " + std::to_string(rate) + " -c -" +
           profile + " -eo .wav " + input + " -o " + output;
}

std::string with_aac(const std::string& path) {
    return path.substr(0, path.size() - 3) + "aac";
}

// The share of a progress bar's inside drawn in the colour of its left end, along its
// middle row (the bar's rectangle is in picture coordinates).
double filled_share(const Image& image, const RECT& bar) {
    const int y = (bar.top + bar.bottom) / 2;
    const int left = bar.left + 2;  // inside the edge
    const int right = bar.right - 2;
    if (y < 0 || y >= image.height || left < 0 || right > image.width || right <= left)
        return 0;
    const auto pixel = [&](int x) {
        const std::size_t at = (static_cast<std::size_t>(y) * image.width + x) * 3;
        return (image.rgb[at] << 16) | (image.rgb[at + 1] << 8) | image.rgb[at + 2];
    };
    const int fill = pixel(left + 1);
    int last = left;
    for (int x = left; x < right; ++x) {
        if (pixel(x) == fill)
            last = x;
    }
    return static_cast<double>(last - left + 1) / (right - left);
}

class Encode : public ProgramCopy {
protected:
    // Waits until the test encoder has moved the progress bar to 60 and written its status
    // line through the window handle it was given.
    bool encoder_has_written(HWND progress) {
        return wait_until([&] {
            return send(GetDlgItem(progress, kProgressBar), PBM_GETPOS) == 60 &&
                   window_text(GetDlgItem(progress, kProgressStatus)) == "Test encoder: 60%";
        });
    }

    HWND wait_for_progress_window() {
        HWND progress = wait_for_owned(app(), main_, &is_progress_window);
        EXPECT_NE(progress, nullptr) << "no progress window\n" << app().describe_windows();
        return progress;
    }

    // Waits until the progress window has gone and the main window is usable again.
    void expect_back_to_main_window() {
        EXPECT_TRUE(wait_until([&] {
            return owned_windows(app().process_id(), main_).empty() && IsWindowEnabled(main_);
        })) << app().describe_windows();
        expect_nothing_open();
    }

    // How the encoder was started: hidden, with the handle of the program's progress
    // window (a caption-less dialog owned by the main window, with the bar and the status
    // line, both as the program left them: untouched).
    void expect_started_right(const EncoderRun& run) {
        SCOPED_TRACE(describe(std::vector<EncoderRun>{run}));
        EXPECT_EQ(run.get("show_given"), "1") << "STARTF_USESHOWWINDOW";
        EXPECT_EQ(run.get("show"), std::to_string(SW_HIDE));
        EXPECT_EQ(run.get("window"), "1") << "the number after -wn names no window";
        EXPECT_EQ(run.get("window_class"), kDialogClass);
        EXPECT_EQ(run.get("window_text"), "");
        EXPECT_EQ(run.get("window_owner"), unsigned_number(main_));
        EXPECT_EQ(run.get("window_pid"), std::to_string(app().process_id()));
        EXPECT_EQ(run.get("progress"), "1") << "no progress bar 1021";
        EXPECT_EQ(run.get("progress_pos"), "0");
        EXPECT_EQ(run.get("progress_high"), "100");
        EXPECT_EQ(run.get("status"), "1") << "no status line 1025";
        EXPECT_EQ(run.get("status_text"), "");
        const std::string number = run.window_number();
        EXPECT_EQ(std::to_string(std::atol(number.c_str())), number) << "not a plain decimal";
    }

    // Encodes with the test encoder closing the progress window at once; returns the run.
    EncoderRun encode_through() {
        const std::size_t before = encoder_->runs().size();
        click(control(kEncode));
        EXPECT_TRUE(encoder_->wait_for_runs(before + 1, true)) << describe(encoder_->runs());
        expect_back_to_main_window();
        const auto runs = encoder_->runs();
        return runs.size() > before ? runs[before] : EncoderRun{};
    }

    std::string stereo_ = folder_.file("stereo.wav");
    std::string mono_ = folder_.file("mono.wav");

    void SetUp() override {
        ProgramCopy::SetUp();
        write_file("stereo.wav", wav_file({1, 2, 44100, 16}));
        write_file("mono.wav", wav_file({1, 1, 44100, 16}));
    }
};

TEST_F(Encode, RefusedBeforeAnySource) {
    click(control(kEncode));
    expect_message({"Please select input file", "Input file required", "none"});
    expect_nothing_open();
    EXPECT_TRUE(encoder_->runs().empty()) << describe(encoder_->runs());
}

TEST_F(Encode, RefusedWithoutABitRate) {
    load_source(stereo_);
    choose_bitrate(-1);
    ASSERT_EQ(combo_selection(control(kBitrateList)), -1);
    click(control(kEncode));
    expect_message({"You must select bit rate for target file", kAppName, "none"});
    expect_nothing_open();
    EXPECT_TRUE(encoder_->runs().empty()) << describe(encoder_->runs());
}

TEST_F(Encode, CommandLinesForProfilesChannelsAndRates) {
    struct Case {
        const std::string& source;
        int profile;
        int row;
        const char* profile_switch;
        int rate;
    };
    const Case cases[] = {
        {mono_, kProfileMain, 0, "main", 128000},  {stereo_, kProfileMain, 0, "main", 256000},
        {stereo_, kProfileLc, 1, "lc", 162000},    {stereo_, kProfileSsr, 2, "ssr", 128000},
        {stereo_, kProfileMain, 5, "main", 80000}, {mono_, kProfileLc, 6, "lc", 32000},
        {mono_, kProfileSsr, 3, "ssr", 56000},     {mono_, kProfileMain, 1, "main", 81000},
    };
    std::string loaded;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.source + ", -" + c.profile_switch + ", row " + std::to_string(c.row));
        if (loaded != c.source) {
            load_source(c.source);
            loaded = c.source;
        }
        click_profile(c.profile);
        choose_bitrate(c.row);
        const MainState before = state();

        const EncoderRun run = encode_through();
        expect_started_right(run);
        EXPECT_EQ(run.command(), expected_command(run.window_number(), c.rate, c.profile_switch,
                                                  c.source, with_aac(c.source)));
        const std::vector<std::string> arguments{"mp4.exe",
                                                 "-nh",
                                                 "-wn",
                                                 run.window_number(),
                                                 "-eb",
                                                 ".aac",
                                                 "-r",
                                                 std::to_string(c.rate),
                                                 "-c",
                                                 std::string("-") + c.profile_switch,
                                                 "-eo",
                                                 ".wav",
                                                 c.source,
                                                 "-o",
                                                 with_aac(c.source)};
        EXPECT_EQ(run.arguments(), arguments);
        // Every choice is kept for the next Encode.
        EXPECT_EQ(state(), before) << describe(state());
    }
}

TEST_F(Encode, ProgressWindowCarriesTheEncoderAndClosesWhenItSaysSo) {
    load_source(stereo_);
    click_profile(kProfileLc);
    const MainState before = state();
    ASSERT_TRUE(encoder_->set_mode(EncoderMode::kWait));

    std::string first_command;
    std::string first_handle;
    for (int round = 1; round <= 2; ++round) {
        SCOPED_TRACE("Encode number " + std::to_string(round));
        click(control(kEncode));
        HWND progress = wait_for_progress_window();
        ASSERT_NE(progress, nullptr);
        EXPECT_FALSE(IsWindowEnabled(main_)) << "the main window is usable under the progress";
        ASSERT_TRUE(encoder_->wait_for_runs(static_cast<std::size_t>(round)))
            << describe(encoder_->runs());
        const EncoderRun run = encoder_->runs().back();
        expect_started_right(run);
        EXPECT_EQ(run.window_number(), handle_number(progress));
        EXPECT_EQ(run.command(), expected_command(handle_number(progress), 128000, "lc", stereo_,
                                                  with_aac(stereo_)));
        EXPECT_EQ(class_name(GetDlgItem(progress, kProgressBar)), PROGRESS_CLASSA);
        EXPECT_STRCASEEQ(class_name(GetDlgItem(progress, kProgressStatus)).c_str(), "Static");
        EXPECT_EQ(class_name(GetDlgItem(progress, kProgressAnimation)), ANIMATE_CLASSA);
        EXPECT_TRUE(encoder_has_written(progress)) << "the encoder could not use the window";
        EXPECT_TRUE(app().running());

        if (round == 1) {
            first_command = run.command();
            first_handle = run.window_number();
        } else {
            EXPECT_NE(run.window_number(), first_handle) << "the same handle twice";
            std::string same = first_command;
            same.replace(same.find(first_handle), first_handle.size(), run.window_number());
            EXPECT_EQ(run.command(), same) << "only the handle may differ";
        }

        ASSERT_TRUE(encoder_->release());
        EXPECT_TRUE(app().wait_until_gone(progress)) << app().describe_windows();
        expect_back_to_main_window();
        EXPECT_TRUE(encoder_->wait_for_runs(static_cast<std::size_t>(round), true))
            << describe(encoder_->runs());
        EXPECT_EQ(state(), before) << describe(state());
        ASSERT_TRUE(encoder_->set_mode(EncoderMode::kWait));
    }
}

TEST_F(Encode, EscapeAndEnterLeaveTheEncoderRunning) {
    load_source(stereo_);
    const MainState before = state();
    ASSERT_TRUE(encoder_->set_mode(EncoderMode::kHold));

    const struct {
        const char* name;
        UINT key;
    } keys[] = {{"Escape", VK_ESCAPE}, {"Enter", VK_RETURN}};
    for (std::size_t i = 0; i < std::size(keys); ++i) {
        SCOPED_TRACE(keys[i].name);
        click(control(kEncode));
        HWND progress = wait_for_progress_window();
        ASSERT_NE(progress, nullptr);
        ASSERT_TRUE(encoder_->wait_for_runs(i + 1)) << describe(encoder_->runs());
        const EncoderRun run = encoder_->runs().back();
        EXPECT_EQ(run.window_number(), handle_number(progress));
        ASSERT_TRUE(encoder_has_written(progress)) << "the encoder could not use the window";

        if (i == 0) {
            // The animation plays while the encoder works.
            const RECT animation = window_rect(GetDlgItem(progress, kProgressAnimation));
            EXPECT_TRUE(screen_changes(animation, 3000)) << "the animation does not move";
            const Image image = capture_window_except(app().probe(), progress, animation);
            ASSERT_FALSE(image.rgb.empty()) << "the window's picture did not settle";
            // The bar is drawn to the encoder's 60 percent.
            RECT bar = window_rect(GetDlgItem(progress, kProgressBar));
            OffsetRect(&bar, -window_rect(progress).left, -window_rect(progress).top);
            const double share = filled_share(image, bar);
            EXPECT_GT(share, 0.55);
            EXPECT_LT(share, 0.65);
            const std::string shot = save_png(image, "progress_window.png");
            EXPECT_FALSE(shot.empty());
            std::printf("screenshot: %s\n", shot.c_str());
        }

        HWND focus = app().probe().focus(progress);
        post_key(focus != nullptr ? focus : progress, keys[i].key);
        EXPECT_TRUE(app().wait_until_gone(progress)) << app().describe_windows();
        expect_back_to_main_window();
        EXPECT_EQ(state(), before) << describe(state());
        EXPECT_TRUE(process_alive(run.pid())) << "closing the window ended the encoder";
        EXPECT_FALSE(encoder_->runs().back().done);
    }

    ASSERT_TRUE(encoder_->release());
    ASSERT_TRUE(encoder_->wait_for_runs(2, true)) << describe(encoder_->runs());
    for (const EncoderRun& run : encoder_->runs())
        EXPECT_FALSE(run.window_alive_at_end) << describe(encoder_->runs());
}

TEST_F(Encode, OutputPathWithSpacesReachesTheEncoderAsOneArgument) {
    load_source(stereo_);
    ASSERT_TRUE(folder_.make_folder("My Out"));
    const std::string output = join(folder_.file("My Out"), "result.aac");
    ASSERT_TRUE(choose_output(join(folder_.file("My Out"), "result")));
    ASSERT_EQ(window_text(control(kOutputDisplay)), output);

    const EncoderRun run = encode_through();
    expect_started_right(run);
    EXPECT_EQ(run.command(),
              expected_command(run.window_number(), 128000, "main", stereo_, "\"" + output + "\""));
    const auto arguments = run.arguments();
    ASSERT_EQ(arguments.size(), 15u) << run.command();
    EXPECT_EQ(arguments[12], stereo_);
    EXPECT_EQ(arguments[13], "-o");
    EXPECT_EQ(arguments[14], output);
}

TEST_F(Encode, OutputThatIsTheInputIsRefused) {
    load_source(stereo_);
    const ExpectedMessage refusal{
        "The output file must not be the input file. Please choose another output file.", kAppName,
        "exclamation"};

    // Chosen in the save dialog, and then the same path in capitals.
    ASSERT_TRUE(choose_output(stereo_));
    ASSERT_EQ(window_text(control(kOutputDisplay)), stereo_);
    click(control(kEncode));
    expect_message(refusal);
    expect_nothing_open();

    std::string shouted = stereo_;
    for (char& c : shouted)
        c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
    set_text(control(kOutputDisplay), shouted);
    click(control(kEncode));
    expect_message(refusal);
    expect_nothing_open();
    EXPECT_TRUE(encoder_->runs().empty()) << describe(encoder_->runs());

    // Another output makes Encode work again.
    ASSERT_TRUE(choose_output(folder_.file("other.aac")));
    const EncoderRun run = encode_through();
    EXPECT_EQ(run.command(), expected_command(run.window_number(), 128000, "main", stereo_,
                                              folder_.file("other.aac")));
}

// The check compares the files themselves, so other spellings of the input file are
// refused as well, and the encoder is never given its input as its output.
TEST_F(Encode, OutputThatIsTheInputUnderAnotherSpellingIsRefused) {
    load_source(stereo_);
    char short_path[MAX_PATH] = {};
    const DWORD n = GetShortPathNameA(stereo_.c_str(), short_path, MAX_PATH);
    ASSERT_TRUE(n > 0 && n < MAX_PATH);
    const std::string spellings[] = {
        folder_.path() + "\\\\stereo.wav",  // a doubled separator, kept by the dialog
        short_path,                         // the short (8.3) name of the folder
    };
    for (const std::string& spelling : spellings) {
        SCOPED_TRACE(spelling);
        ASSERT_TRUE(choose_output(spelling));
        ASSERT_EQ(window_text(control(kOutputDisplay)), spelling);
        click(control(kEncode));
        expect_message(
            {"The output file must not be the input file. Please choose another output file.",
             kAppName, "exclamation"});
        expect_back_to_main_window();
    }
    EXPECT_TRUE(encoder_->runs().empty()) << describe(encoder_->runs());
}

TEST_F(Encode, LongPathsAndCommands) {
    load_source(stereo_);
    const auto path = [](char letter, std::size_t length) {
        return "C:\\" + std::string(length - 7, letter) + ".wav";
    };
    HWND input = control(kInputDisplay);
    HWND output = control(kOutputDisplay);
    const std::string short_output = folder_.file("out.aac");

    // A display holds at most 511 characters of path.
    set_text(input, path('i', 512));
    set_text(output, short_output);
    click(control(kEncode));
    expect_message({"The input file path is too long: at most 511 characters are allowed.",
                    kAppName, "exclamation"});
    set_text(input, stereo_);
    set_text(output, path('o', 512));
    click(control(kEncode));
    expect_message(
        {"The output file path is too long: at most 511 characters are allowed. Please "
         "choose a shorter output path.",
         kAppName, "exclamation"});
    expect_nothing_open();
    EXPECT_TRUE(encoder_->runs().empty()) << describe(encoder_->runs());

    // 511 characters are taken whole.
    set_text(input, path('i', 511));
    set_text(output, short_output);
    EncoderRun run = encode_through();
    EXPECT_EQ(run.command(),
              expected_command(run.window_number(), 128000, "main", path('i', 511), short_output));

    // A long command that fits reaches the encoder byte for byte.
    set_text(input, path('i', 450));
    set_text(output, path('o', 450));
    run = encode_through();
    EXPECT_EQ(run.command(), expected_command(run.window_number(), 128000, "main", path('i', 450),
                                              path('o', 450)));

    // One that does not fit the command buffer is refused; the progress window closes and
    // no encoder starts.
    set_text(input, path('i', 500));
    set_text(output, path('o', 500));
    click(control(kEncode));
    HWND box = wait_for_message_box();
    ASSERT_NE(box, nullptr) << app().describe_windows();
    EXPECT_TRUE(is_progress_window(GetWindow(box, GW_OWNER))) << "owned by the progress window";
    expect_message(
        {"The encoder command line would be longer than 1023 characters. Please "
         "choose shorter input and output paths.",
         kAppName, "exclamation"});
    expect_back_to_main_window();
    EXPECT_EQ(encoder_->runs().size(), 2u) << describe(encoder_->runs());
}

// The program started from its own folder while its working folder is another one, which
// holds a second copy of the test encoder: the copy beside the program is the one started.
class EncodeFromAnotherFolder : public Encode {
protected:
    std::string working_folder() const override { return elsewhere_.path(); }

    TestFolder elsewhere_;
    EncoderDouble decoy_{elsewhere_.path()};
};

TEST_F(EncodeFromAnotherFolder, FindsTheEncoderBesideItself) {
    ASSERT_TRUE(decoy_.installed());
    load_source(stereo_);
    const EncoderRun run = encode_through();
    expect_started_right(run);
    EXPECT_STRCASEEQ(run.get("cwd").c_str(), elsewhere_.path().c_str())
        << "the program did not run in the other folder";
    EXPECT_TRUE(decoy_.runs().empty()) << "the copy in the working folder ran\n"
                                       << describe(decoy_.runs());
}

// The program in a folder whose name has a space, as installed programs often are.
class EncodeFromAFolderWithASpace : public Encode {
protected:
    std::string program_subfolder() const override { return "My Programs"; }
};

TEST_F(EncodeFromAFolderWithASpace, FindsTheEncoderBesideItself) {
    load_source(stereo_);
    const EncoderRun run = encode_through();
    expect_started_right(run);
    EXPECT_EQ(run.command(),
              expected_command(run.window_number(), 128000, "main", stereo_, with_aac(stereo_)));
    // The application name is still the file name without its extension.
    choose_bitrate(-1);
    click(control(kEncode));
    expect_message({"You must select bit rate for target file", kAppName, "none"});
}

class EncodeWithoutEncoder : public Encode {
protected:
    bool with_encoder() const override { return false; }
};

TEST_F(EncodeWithoutEncoder, SaysSoAndReturnsToTheMainWindow) {
    load_source(stereo_);
    const MainState before = state();
    for (int round = 1; round <= 2; ++round) {
        SCOPED_TRACE("Encode number " + std::to_string(round));
        click(control(kEncode));
        HWND box = wait_for_message_box();
        ASSERT_NE(box, nullptr) << app().describe_windows();
        EXPECT_TRUE(is_progress_window(GetWindow(box, GW_OWNER))) << "owned by the progress window";
        expect_message(
            {"The encoder mp4.exe could not be started. It must be in the same folder "
             "as this program.",
             kAppName, "exclamation"});
        expect_back_to_main_window();
        EXPECT_EQ(state(), before) << describe(state());
    }
    // The main window is usable: a profile click still works.
    click_profile(kProfileSsr);
    EXPECT_TRUE(is_checked(control(kProfileSsr)));
}

}  // namespace
}  // namespace brevix::e2e
