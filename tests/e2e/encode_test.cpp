// Encode with the test encoder beside a copy of the program: the refusal before a source, the
// command line and how the encoder is started, the progress window, long paths, a missing
// mp4.exe. Then the whole job with the real encoder; its files are kept in the folder
// real_encoder beside the driver for check_real_encoder_output.sh, which decodes them on the host.
#include <gtest/gtest.h>

#include <cmath>
#include <set>

#include "support.h"

namespace brevix::e2e {
namespace {

std::string window_number(const std::string& run) {
    const std::size_t at = run.find(" -wn ");
    return at == std::string::npos ? "" : run.substr(at + 5, run.find(' ', at + 5) - at - 5);
}

// The test encoder's line for a run the program started right: hidden, given a dialog owned
// by the main window, with the bar (0 of 0 to 100) and the status line untouched.
std::string expected_run(const App& app, const std::string& run, const std::string& switches,
                         const std::string& input, const std::string& output) {
    return "show=" + std::to_string(SW_HIDE) +
           " window=#32770 owner=" + std::to_string(reinterpret_cast<UINT_PTR>(app.main)) +
           " process=" + std::to_string(app.process.dwProcessId) +
           " bar=0/100 status=[] cmd=mp4.exe -nh -wn " + window_number(run) + " -eb .aac " +
           switches + " -eo .wav " + input + " -o " + output;
}

// Encode opens the progress window, which says why the encoder cannot run (a message box
// it owns, with the application's name as caption) and closes.
void expect_refused_over_progress_window(const App& app, const std::string& text) {
    click(app.item(IDC_ENCODE));
    const Box box = app.message_box();
    EXPECT_EQ(std::tie(box.text, box.caption, box.icon, box.over_progress_window),
              std::make_tuple(text, "brevix", true, true))
        << app.seen();
    EXPECT_TRUE(app.back_to_main()) << app.seen();
}

TEST(Encode, RefusedBeforeASourceAndEnterOnTheButtonDoesNotEndTheProgram) {
    App app;
    SendMessageA(app.main, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(app.item(IDC_ENCODE)), TRUE);
    app.keys(app.main, {VK_RETURN});
    const Box box = app.message_box();
    EXPECT_EQ(std::tie(box.text, box.caption, box.icon),
              std::make_tuple("Please select input file", "Input file required", false))
        << app.seen();
    EXPECT_TRUE(app.back_to_main()) << app.seen();
    EXPECT_TRUE(app.encoder_runs().empty());
}

TEST(Encode, CommandLinesForStereoAndMono) {
    App app;
    const struct {
        const char* name;
        int channels;
        int profile;
        int row;
        const char* switches;
    } cases[] = {
        {"stereo.wav", 2, IDC_PROFILE_LC, 0, "-r 256000 -c -lc"},
        {"mono.wav", 1, IDC_PROFILE_SSR, 5, "-r 40000 -c -ssr"},
    };
    std::size_t count = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string source = app.write_wav(c.name, {1, c.channels, 44100, 16});
        ASSERT_TRUE(app.select_input(source)) << app.seen();
        click(app.item(c.profile));
        ASSERT_TRUE(app.settle());  // the click has refilled the list before a row is chosen
        HWND list = app.item(IDC_BITRATE_LIST);
        SendMessageA(list, CB_SETCURSEL, static_cast<WPARAM>(c.row), 0);
        PostMessageA(app.main, WM_COMMAND, MAKEWPARAM(IDC_BITRATE_LIST, CBN_SELCHANGE),
                     reinterpret_cast<LPARAM>(list));
        click(app.item(IDC_ENCODE));
        const std::vector<std::string> runs = app.encoder_runs(++count);
        ASSERT_EQ(runs.size(), count) << app.seen();
        EXPECT_EQ(runs.back(), expected_run(app, runs.back(), c.switches, source,
                                            source.substr(0, source.size() - 3) + "aac"));
        EXPECT_TRUE(app.back_to_main()) << "the encoder's WM_CLOSE did not close it\n"
                                        << app.seen();
    }
}

TEST(Encode, ProgressWindowCarriesTheEncoderUntilEscapeWhichLeavesItRunning) {
    App app;
    wav::write_file(app.folder.file("mp4_hold"), {});
    ASSERT_TRUE(app.select_input(app.write_wav("song.wav"))) << app.seen();
    click(app.item(IDC_ENCODE));
    HWND progress = app.wait_owned(app.main, IDC_PROGRESS_BAR);
    ASSERT_NE(progress, nullptr) << app.seen();
    EXPECT_EQ(text(progress), "");
    EXPECT_FALSE(IsWindowEnabled(app.main));
    const std::vector<std::string> runs = app.encoder_runs(1);
    ASSERT_EQ(runs.size(), 1u) << app.seen();
    EXPECT_EQ(window_number(runs[0]), std::to_string(reinterpret_cast<INT_PTR>(progress)));
    HWND animation = GetDlgItem(progress, IDC_ANIMATION);
    EXPECT_TRUE(moves(animation)) << "the animation does not play";
    EXPECT_TRUE(wait_until([&] {
        return SendMessageA(GetDlgItem(progress, IDC_PROGRESS_BAR), PBM_GETPOS, 0, 0) == 60 &&
               text(GetDlgItem(progress, IDC_STATUS_LINE)) == "Test encoder: 60%";
    })) << "the encoder could not write to the window";
    EXPECT_TRUE(screenshot(progress, "progress_window", animation));

    app.keys(progress, {VK_ESCAPE});
    EXPECT_TRUE(app.back_to_main()) << app.seen();
    DeleteFileA(app.folder.file("mp4_hold").c_str());
    EXPECT_EQ(app.encoder_runs(2).back(), "released") << "the encoder did not carry on";
}

TEST(Encode, LongPathsAreTakenWholeOrRefused) {
    App app;
    ASSERT_TRUE(app.select_input(app.write_wav("song.wav"))) << app.seen();
    const auto path = [](char letter, std::size_t length) {
        return "C:\\" + std::string(length - 7, letter) + ".wav";
    };
    const auto show = [&](int id, const std::string& shown) {
        SendMessageA(app.item(id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(shown.c_str()));
    };
    show(IDC_INPUT_DISPLAY, path('i', 511));
    click(app.item(IDC_ENCODE));
    const std::vector<std::string> runs = app.encoder_runs(1);
    ASSERT_EQ(runs.size(), 1u) << app.seen();
    EXPECT_EQ(runs[0], expected_run(app, runs[0], "-r 128000 -c -main", path('i', 511),
                                    app.folder.file("song.aac")));
    ASSERT_TRUE(app.back_to_main()) << app.seen();

    show(IDC_INPUT_DISPLAY, path('i', 500));
    show(IDC_OUTPUT_DISPLAY, path('o', 500));
    expect_refused_over_progress_window(
        app,
        "The encoder command line would be longer than 1023 characters. Please choose shorter "
        "input and output paths.");
    EXPECT_EQ(app.encoder_runs().size(), 1u);
}

TEST(Encode, AnEncoderThatEndsWithoutClosingTheWindowClosesItAndAFailureIsTold) {
    App app;
    ASSERT_TRUE(app.select_input(app.write_wav("song.wav"))) << app.seen();
    // Status 0 first: a message it showed by mistake would be the next case's box.
    const std::pair<std::string, std::string> cases[] = {{"0", ""}, {"3", "3"}};
    std::size_t count = 0;
    for (const auto& [status, shown] : cases) {
        SCOPED_TRACE(status);
        ASSERT_TRUE(wav::write_file(app.folder.file("mp4_exit"), {status.begin(), status.end()}));
        click(app.item(IDC_ENCODE));
        EXPECT_EQ(app.encoder_runs(++count).size(), count) << app.seen();
        if (!shown.empty()) {
            const Box box = app.message_box();
            EXPECT_EQ(
                std::tie(box.text, box.caption, box.icon, box.owner),
                std::make_tuple("The encoder mp4.exe stopped before it finished (exit "
                                "status " +
                                    shown + "). The output file may be missing or incomplete.",
                                "brevix", true, app.main))
                << app.seen();
        }
        EXPECT_TRUE(app.back_to_main()) << app.seen();
    }
}

TEST(Encode, WithoutMp4ExeBesideTheProgramOrWithAFileThatIsNoProgramSaysSo) {
    App app(Encoder::kNone);
    ASSERT_TRUE(app.select_input(app.write_wav("song.wav"))) << app.seen();
    expect_refused_over_progress_window(
        app,
        "The encoder mp4.exe could not be started. It must be in the same folder as this "
        "program.");
    ASSERT_TRUE(wav::write_file(app.folder.file("mp4.exe"), {'t', 'e', 'x', 't'}));
    expect_refused_over_progress_window(
        app,
        "The encoder mp4.exe could not be started: the mp4.exe found is not a program that "
        "Windows can run. Put the mp4.exe that came with this program beside it.");
}

TEST(RealEncoder, EncodesTheChosenFileWhileTheBarMoves) {
    App app(Encoder::kReal);
    // Twenty seconds of a stereo chord: long enough to see the bar on its way.
    std::vector<std::vector<double>> chord(2, std::vector<double>(20 * 44100));
    for (std::size_t i = 0; i < chord[0].size(); ++i) {
        const double t = 2 * 3.14159265358979 * static_cast<double>(i) / 44100;
        chord[0][i] = 0.3 * std::sin(220 * t) + 0.2 * std::sin(330 * t);
        chord[1][i] = 0.3 * std::sin(440 * t) + 0.2 * std::sin(554.4 * t);
    }
    const std::string source = app.folder.file("song.wav");
    const std::string output = app.folder.file("song.aac");
    const std::string kept = driver_folder() + "\\real_encoder\\";
    CreateDirectoryA(kept.c_str(), nullptr);
    for (const char* name : {"song.wav", "song_lc.aac", "song_main.aac"})
        DeleteFileA((kept + name).c_str());
    ASSERT_TRUE(wav::write_file(source, wav::file(chord, 44100)));
    ASSERT_TRUE(CopyFileA(source.c_str(), (kept + "song.wav").c_str(), FALSE));
    ASSERT_TRUE(app.select_input(source)) << app.seen();

    for (const auto& [profile, name] :
         {std::pair{IDC_PROFILE_LC, "song_lc.aac"}, std::pair{IDC_PROFILE_MAIN, "song_main.aac"}}) {
        SCOPED_TRACE(name);
        DeleteFileA(output.c_str());
        click(app.item(profile));
        click(app.item(IDC_ENCODE));
        HWND progress = app.wait_owned(app.main, IDC_PROGRESS_BAR);
        ASSERT_NE(progress, nullptr) << app.seen();
        HWND bar = GetDlgItem(progress, IDC_PROGRESS_BAR);
        std::set<LRESULT> on_the_way;
        EXPECT_TRUE(wait_until(
            [&] {
                const LRESULT at = SendMessageA(bar, PBM_GETPOS, 0, 0);
                if (at > 0 && at < 100)
                    on_the_way.insert(at);
                return !IsWindow(progress);
            },
            60000))
            << "the progress window did not close by itself";
        EXPECT_GE(on_the_way.size(), 3u) << "the bar was not seen moving";
        const std::string start = read_file(output).substr(0, 2);
        ASSERT_EQ(start.size(), 2u) << "no " << output;
        EXPECT_TRUE(start[0] == '\xFF' && (start[1] & 0xF6) == 0xF0) << "not an ADTS stream";
        EXPECT_TRUE(CopyFileA(output.c_str(), (kept + name).c_str(), FALSE));
        EXPECT_TRUE(app.back_to_main()) << app.seen();
    }
}

TEST(RealEncoder, SpeaksToThePersonAtTheWindow) {
    App app(Encoder::kReal);
    ASSERT_TRUE(app.select_input(app.write_wav("song.wav"))) << app.seen();
    click(app.item(IDC_PROFILE_SSR));
    click(app.item(IDC_ENCODE));
    const Box box = app.message_box("encoder_refusal_box");
    EXPECT_EQ(box.text,
              "The SSR profile is not supported by this encoder. Choose the Main or LC profile.");
    EXPECT_EQ(box.caption, "MPEG-4 Encoder");
    EXPECT_TRUE(box.over_progress_window);
    ASSERT_TRUE(app.back_to_main()) << app.seen();
    // A source cut short: encoded, and the status line says what was missing before the
    // window closes.
    wav::Bytes cut =
        wav::file(std::vector<std::vector<double>>(2, std::vector<double>(44100)), 44100);
    cut.resize(cut.size() - 4 * 22050);
    ASSERT_TRUE(wav::write_file(app.folder.file("cut.wav"), cut));
    ASSERT_TRUE(app.select_input(app.folder.file("cut.wav"))) << app.seen();
    click(app.item(IDC_PROFILE_LC));
    click(app.item(IDC_ENCODE));
    HWND progress = app.wait_owned(app.main, IDC_PROGRESS_BAR);
    EXPECT_TRUE(wait_until([&] {
        return text(GetDlgItem(progress, IDC_STATUS_LINE)) ==
               "Done: cut.wav is truncated: 0.50 s of audio missing at its end";
    })) << app.seen();
    EXPECT_TRUE(
        screenshot(progress, "progress_window_warning", GetDlgItem(progress, IDC_ANIMATION)));
    EXPECT_TRUE(app.back_to_main()) << app.seen();
    EXPECT_EQ(read_file(app.folder.file("cut.aac")).substr(0, 1), "\xFF");
}

// mp4.exe on its own with names outside any ANSI code page: it reads its command line as
// UTF-16, so the files and its messages carry the real names.
TEST(RealEncoder, TakesAnyNameWindowsAllows) {
    TempFolder folder;
    const std::wstring dir = std::filesystem::u8path(folder.path()).wstring() + L"\\";
    const std::wstring output = dir + L"日本語 ü.aac";
    ASSERT_TRUE(
        wav::write_file(folder.file("in.wav"), wav::file({1, 2, 44100, 16}, wav::Bytes(40000, 1))));
    ASSERT_TRUE(MoveFileW((dir + L"in.wav").c_str(), (dir + L"日本語 ü.wav").c_str()));
    const auto run = [&](const std::wstring& arguments) {
        const int code = _wsystem((L"cd /d " + dir + L" && " +
                                   std::filesystem::u8path(build_folder()).wstring() +
                                   L"\\mp4.exe -nh " + arguments + L" 2>err.txt")
                                      .c_str());
        return std::to_string(code) + " " + read_file(folder.file("err.txt"));
    };
    EXPECT_EQ(run(L"\"日本語 ü.wav\" -o \"日本語 ü.aac\""), "0 ");
    // An existing output keeps its attributes; a read-only one is refused.
    SetFileAttributesW(output.c_str(), FILE_ATTRIBUTE_HIDDEN);
    EXPECT_EQ(run(L"\"日本語 ü.wav\" -o \"日本語 ü.aac\""), "0 ");
    EXPECT_TRUE(GetFileAttributesW(output.c_str()) & FILE_ATTRIBUTE_HIDDEN);
    SetFileAttributesW(output.c_str(), FILE_ATTRIBUTE_READONLY);
    EXPECT_EQ(run(L"\"日本語 ü.wav\" -o \"日本語 ü.aac\""),
              "1 mp4: error: the output file '日本語 ü.aac' is read-only\r\n");
    SetFileAttributesW(output.c_str(), FILE_ATTRIBUTE_NORMAL);
    CreateHardLinkW((dir + L"in.aac").c_str(), (dir + L"日本語 ü.wav").c_str(), nullptr);
    EXPECT_EQ(run(L"\"日本語 ü.wav\" -o in.aac"),
              "1 mp4: error: the output file must not be the input file\r\n");
    EXPECT_EQ(
        run(L"日本語x.wav -o y.aac").rfind("1 mp4: error: input '日本語x.wav': cannot open", 0),
        0u);
    EXPECT_EQ(GetFileAttributesW((output + L".mp4tmp").c_str()), INVALID_FILE_ATTRIBUTES);
}

}  // namespace
}  // namespace brevix::e2e
