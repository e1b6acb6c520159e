// Choosing the source file through the real open dialog: the ways to open the dialog and
// to confirm or cancel it, the WAV files that are accepted and what the main window then
// shows, and every refusal with its message and what it leaves unchanged.
#include <gtest/gtest.h>

#include "support/program_copy.h"
#include "support/screenshot.h"

namespace brevix::e2e {
namespace {

std::string with_aac(const std::string& path) {
    return path.substr(0, path.size() - 3) + "aac";
}

// The window as it shows an accepted file: its path, the derived output name, its format,
// the Main profile and the seven bit rates with the recommended one selected.
void expect_accepted(const MainState& seen, const std::string& path, const std::string& format) {
    SCOPED_TRACE(describe(seen));
    EXPECT_EQ(seen.input, path);
    EXPECT_EQ(seen.output, with_aac(path));
    EXPECT_EQ(seen.format, format);
    EXPECT_TRUE(seen.main);
    EXPECT_FALSE(seen.lc);
    EXPECT_FALSE(seen.ssr);
    EXPECT_EQ(seen.bitrates,
              std::vector<std::string>(std::begin(kBitrateLabels), std::end(kBitrateLabels)));
    EXPECT_EQ(seen.selection, kRecommendedRow);
}

// A file held open without sharing, as another program may hold it (nothing for an
// empty path).
class ExclusiveOpen {
public:
    explicit ExclusiveOpen(const std::string& path)
        : handle_(path.empty() ? INVALID_HANDLE_VALUE
                               : CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                             0, nullptr)) {}
    ~ExclusiveOpen() {
        if (is_open())
            CloseHandle(handle_);
    }
    ExclusiveOpen(const ExclusiveOpen&) = delete;
    ExclusiveOpen& operator=(const ExclusiveOpen&) = delete;
    bool is_open() const { return handle_ != INVALID_HANDLE_VALUE; }

private:
    HANDLE handle_;
};

using SourceSelection = ProgramCopy;

TEST_F(SourceSelection, DialogFromButtonAndMenuCancelChangesNothing) {
    const MainState initial = state();
    for (const Trigger trigger : {Trigger::kButton, Trigger::kMenu}) {
        SCOPED_TRACE(trigger == Trigger::kButton ? "Select Input button" : "File menu item");
        FileDialog dialog = open_source_dialog(trigger);
        ASSERT_NE(dialog.hwnd(), nullptr);
        EXPECT_EQ(GetWindow(dialog.hwnd(), GW_OWNER), main_);
        EXPECT_FALSE(IsWindowEnabled(main_)) << "the open dialog is modal";
        EXPECT_NE(dialog.name_field(), nullptr) << "no file-name field";
        EXPECT_EQ(dialog.file_types(),
                  std::vector<std::string>{"16-bit Windows waveform files (*.wav)"});
        EXPECT_EQ(dialog.file_type(), 0);
        ASSERT_TRUE(dialog.cancel(app())) << app().describe_windows();
        expect_nothing_open();
        EXPECT_EQ(state(), initial) << describe(state());
    }

    // Cancel after a file was accepted keeps that file and the choices made since.
    const std::string path = write_file("kept.wav", wav_file());
    load_source(path);
    click_profile(kProfileSsr);
    choose_bitrate(5);
    const MainState loaded = state();
    FileDialog dialog = open_source_dialog(Trigger::kMenu);
    ASSERT_NE(dialog.hwnd(), nullptr);
    ASSERT_TRUE(dialog.cancel(app())) << app().describe_windows();
    expect_nothing_open();
    EXPECT_EQ(state(), loaded) << describe(state());
}

TEST_F(SourceSelection, AcceptedFilesFillTheWindow) {
    struct Case {
        const char* name;
        WavFormat format;
        const char* shown;
    };
    const Case cases[] = {
        {"stereo.wav", {1, 2, 44100, 16}, "44100 Hz Stereo PCM file"},
        {"mono.wav", {1, 1, 44100, 16}, "44100 Hz Mono PCM file"},
        {"six.wav", {1, 6, 44100, 16}, "44100 Hz Stereo PCM file"},
        {"bytes.wav", {1, 1, 44100, 8}, "44100 Hz Mono PCM file"},
        {"deep.wav", {1, 2, 44100, 24}, "44100 Hz Stereo PCM file"},
        // Only the last three characters give way to "aac".
        {"tune.wave", {1, 2, 44100, 16}, "44100 Hz Stereo PCM file"},
        {"rawpcm", {1, 1, 44100, 16}, "44100 Hz Mono PCM file"},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // Another profile and rate first, so that the reset shows.
        click_profile(kProfileLc);
        choose_bitrate(0);
        const std::string path = write_file(c.name, wav_file(c.format));
        // Both ways to open the dialog and both ways to confirm it.
        load_source(path, n % 2 == 0 ? Trigger::kButton : Trigger::kMenu,
                    n / 2 % 2 == 0 ? Confirm::kDefaultButton : Confirm::kEnter);
        expect_accepted(state(), path, c.shown);
        expect_nothing_open();
        if (n == 0) {
            const std::string shot =
                save_screenshot(app().probe(), main_, "main_window_loaded.png");
            EXPECT_FALSE(shot.empty()) << "the window's picture did not settle";
            std::printf("screenshot: %s\n", shot.c_str());
        }
        ++n;
    }
    EXPECT_EQ(window_text(control(kOutputDisplay)), folder_.file("rawaac"));
}

TEST_F(SourceSelection, EarlyRefusalsChangeNothing) {
    // A file accepted first, with other choices made since: every refusal below keeps all
    // of it, and Encode then still encodes this file with these choices.
    const std::string accepted = write_file("accepted.wav", wav_file());
    load_source(accepted);
    click_profile(kProfileSsr);
    choose_bitrate(4);
    const MainState before = state();

    ASSERT_TRUE(folder_.make_folder("My Music"));
    const std::string corrupt = "This wave file is corrupt.";
    const std::string not_pcm =
        "This file is not in PCM format. Wave files must be in PCM (uncompressed) format in "
        "order to compress.";
    struct Case {
        const char* what;
        const char* name;
        std::string bytes;
        ExpectedMessage message;
    };
    const Case cases[] = {
        {"compressed audio named .wav",
         "song.wav",
         compressed_audio_bytes(),
         {"Error loading wave file", kAppName, "exclamation"}},
        {"empty file", "empty.wav", "", {"Error loading wave file", kAppName, "exclamation"}},
        {"RIFF of another form",
         "movie.wav",
         chunk("RIFF", "AVI " + chunk("fmt ", "")),
         {"Error loading wave file", kAppName, "exclamation"}},
        {"no fmt chunk",
         "nofmt.wav",
         riff_wave(chunk("LIST", "INFO") + chunk("data", std::string(64, '\0'))),
         {corrupt, kAppName, "exclamation"}},
        {"fmt chunk of 6 bytes",
         "short.wav",
         riff_wave(chunk("fmt ", format_fields({}).substr(0, 6)) + chunk("data", "")),
         {corrupt, kAppName, "exclamation"}},
        {"IEEE float",
         "float.wav",
         wav_file({3, 2, 44100, 32}),
         {not_pcm, "I/O format error", "exclamation"}},
        {"space in the path",
         "My Music\\good.wav",
         wav_file(),
         {"Source path and file name must not contain space characters!", "Error!", "exclamation"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string path = write_file(c.name, c.bytes);
        ASSERT_TRUE(choose_source(path));
        expect_message(c.message);
        expect_nothing_open();
        EXPECT_EQ(state(), before) << describe(state());
    }

    // A file that ends inside its format chunk is dropped without a word.
    {
        SCOPED_TRACE("file cut inside the fmt chunk");
        const std::string whole = riff_wave(chunk("fmt ", format_fields({})));
        ASSERT_TRUE(choose_source(write_file("cut.wav", whole.substr(0, whole.size() - 4))));
        expect_nothing_open();
        EXPECT_EQ(state(), before) << describe(state());
    }

    // A name typed for a file that does not exist: the dialog takes it, opening fails.
    // The same for a file that another program holds open without sharing.
    const std::string locked = write_file("locked.wav", wav_file());
    for (const std::string& path : {folder_.file("missing.wav"), locked}) {
        SCOPED_TRACE(path);
        ExclusiveOpen hold(path == locked ? path : std::string());
        ASSERT_TRUE(path != locked || hold.is_open());
        ASSERT_TRUE(choose_source(path));
        expect_message({"Cannot open wave file, aborting!", "Error!", "exclamation"});
        expect_nothing_open();
        EXPECT_EQ(state(), before) << describe(state());
    }

    click(control(kEncode));
    ASSERT_TRUE(encoder_->wait_for_runs(1, true)) << describe(encoder_->runs());
    const EncoderRun run = encoder_->runs().front();
    EXPECT_NE(
        run.command().find(" -r 96000 -c -ssr -eo .wav " + accepted + " -o " + with_aac(accepted)),
        std::string::npos)
        << run.command();
}

TEST_F(SourceSelection, SamplingRateRefusalShowsTheFileButEncodeAsksForAnother) {
    const std::string accepted = write_file("good.wav", wav_file());
    const std::string stereo48 = write_file("stereo48.wav", wav_file({1, 2, 48000, 16}));
    const std::string mono22 = write_file("mono22.wav", wav_file({1, 1, 22050, 16}));
    const ExpectedMessage rate_message{
        "Error: this version of MPEG-4 Encoder requires 44100 Hz / 16 bit / Stereo wave files",
        "Sampling Rate Error!", "exclamation"};
    const ExpectedMessage ask_for_input{"Please select input file", "Input file required", "none"};

    // The first file of the session is refused for its rate: while the message is up the
    // window already shows the file, the Main profile and an empty list.
    click_profile(kProfileLc);
    ASSERT_TRUE(choose_source(stereo48));
    HWND box = wait_for_message_box();
    ASSERT_NE(box, nullptr) << app().describe_windows();
    MainState seen = state();
    EXPECT_EQ(seen.input, stereo48) << describe(seen);
    EXPECT_EQ(seen.output, with_aac(stereo48)) << describe(seen);
    EXPECT_EQ(seen.format, "48000 Hz Stereo PCM file") << describe(seen);
    EXPECT_TRUE(seen.main && !seen.lc && !seen.ssr) << describe(seen);
    EXPECT_TRUE(seen.bitrates.empty()) << describe(seen);
    EXPECT_EQ(seen.selection, -1) << describe(seen);
    const std::string shot = save_screenshot(app().probe(), box, "sampling_rate_error.png");
    EXPECT_FALSE(shot.empty()) << "the message box's picture did not settle";
    std::printf("screenshot: %s\n", shot.c_str());
    expect_message(rate_message);
    expect_nothing_open();
    EXPECT_EQ(state(), seen) << describe(state());

    // No source is loaded: Encode asks for one, and a profile click leaves the list empty.
    click(control(kEncode));
    expect_message(ask_for_input);
    click_profile(kProfileSsr);
    EXPECT_TRUE(state().bitrates.empty()) << describe(state());

    // After an accepted file, a refused one unloads the source again.
    load_source(accepted);
    choose_bitrate(0);
    ASSERT_TRUE(choose_source(mono22));
    box = wait_for_message_box();
    ASSERT_NE(box, nullptr) << app().describe_windows();
    seen = state();
    EXPECT_EQ(seen.input, mono22) << describe(seen);
    EXPECT_EQ(seen.format, "22050 Hz Mono PCM file") << describe(seen);
    EXPECT_TRUE(seen.bitrates.empty()) << describe(seen);
    expect_message(rate_message);
    click(control(kEncode));
    expect_message(ask_for_input);
    expect_nothing_open();
    EXPECT_TRUE(encoder_->runs().empty()) << describe(encoder_->runs());

    // Accepting a file again makes Encode work with it.
    load_source(accepted);
    click(control(kEncode));
    ASSERT_TRUE(encoder_->wait_for_runs(1, true)) << describe(encoder_->runs());
    const EncoderRun run = encoder_->runs().front();
    EXPECT_NE(run.command().find(" -r 128000 -c -main -eo .wav " + accepted + " -o " +
                                 with_aac(accepted)),
              std::string::npos)
        << run.command();
}

}  // namespace
}  // namespace brevix::e2e
