// The whole job with our own encoder: a copy of the program with the real mp4.exe beside
// it encodes a WAV file chosen in the open dialog. The progress bar moves, the status line
// tells the progress, the window closes by itself and an ADTS file appears. The encoded
// files are kept in the driver's folder (real_encoder\) for the check that decodes them
// with the reference decoders after this driver has run.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <fstream>
#include <iostream>
#include <set>

#include "support/paths.h"
#include "support/program_copy.h"
#include "support/screenshot.h"

namespace brevix::e2e {
namespace {

constexpr double kPi = 3.14159265358979323846;

// Long enough that encoding takes a noticeable time, so the bar is seen on its way.
constexpr std::uint32_t kSeconds = 120;
constexpr std::uint32_t kRate = 44100;

// A 16-bit stereo chord: different notes left and right.
std::string chord_wav(std::uint32_t seconds) {
    const std::uint32_t frames = seconds * kRate;
    std::string samples;
    samples.reserve(static_cast<std::size_t>(frames) * 4);
    for (std::uint32_t i = 0; i < frames; ++i) {
        const double t = static_cast<double>(i) / kRate;
        const double left =
            0.3 * std::sin(2 * kPi * 220.0 * t) + 0.2 * std::sin(2 * kPi * 330.0 * t);
        const double right =
            0.3 * std::sin(2 * kPi * 440.0 * t) + 0.2 * std::sin(2 * kPi * 554.4 * t);
        samples += le16(static_cast<std::uint16_t>(static_cast<std::int16_t>(left * 32767)));
        samples += le16(static_cast<std::uint16_t>(static_cast<std::int16_t>(right * 32767)));
    }
    return riff_wave(chunk("fmt ", format_fields({1, 2, kRate, 16})) + chunk("data", samples));
}

std::string read_start(const std::string& path, std::size_t bytes) {
    std::ifstream in(path, std::ios::binary);
    std::string start(bytes, '\0');
    in.read(&start[0], static_cast<std::streamsize>(bytes));
    start.resize(static_cast<std::size_t>(in.gcount()));
    return start;
}

// Names of the files in a folder that match a pattern such as "*.tmp".
std::vector<std::string> files_matching(const std::string& folder, const std::string& pattern) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(join(folder, pattern).c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return names;
    do {
        names.push_back(found.cFileName);
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return names;
}

struct OwnedBoxSearch {
    HWND owner;
    HWND found;
};

BOOL CALLBACK find_owned_box(HWND hwnd, LPARAM lparam) {
    auto* search = reinterpret_cast<OwnedBoxSearch*>(lparam);
    if (GetWindow(hwnd, GW_OWNER) == search->owner && IsWindowVisible(hwnd) &&
        class_name(hwnd) == kDialogClass) {
        search->found = hwnd;
        return FALSE;
    }
    return TRUE;
}

// A visible message box of any process (here: the encoder's) owned by the given window;
// nullptr if there is none.
HWND message_box_owned_by(HWND owner) {
    OwnedBoxSearch search{owner, nullptr};
    EnumWindows(&find_owned_box, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

class RealEncoder : public ProgramCopy {
protected:
    bool with_encoder() const override { return false; }

    void SetUp() override {
        ProgramCopy::SetUp();
        ASSERT_TRUE(folder_.copy_in(join(folder_of(built_program()), "mp4.exe"), "mp4.exe"))
            << "the build's mp4.exe";
        source_ = write_file("song.wav", chord_wav(kSeconds));
        kept_ = join(driver_folder(), "real_encoder");
        CreateDirectoryA(kept_.c_str(), nullptr);
    }

    // Encodes the loaded source and watches the progress window until it closes by
    // itself; returns the progress positions seen on the way.
    std::set<int> encode_and_watch(std::string* status_seen) {
        click(control(kEncode));
        HWND progress = wait_for_owned(app(), main_, &is_progress_window);
        EXPECT_NE(progress, nullptr) << app().describe_windows();
        std::set<int> positions;
        if (progress == nullptr)
            return positions;
        HWND bar = GetDlgItem(progress, kProgressBar);
        HWND status = GetDlgItem(progress, kProgressStatus);
        const bool closed = wait_until(
            [&] {
                if (!IsWindow(progress))
                    return true;
                positions.insert(static_cast<int>(send(bar, PBM_GETPOS)));
                const std::string text = window_text(status);
                if (!text.empty())
                    *status_seen = text;
                return false;
            },
            120000);
        EXPECT_TRUE(closed) << "the progress window did not close by itself";
        EXPECT_TRUE(wait_until([&] { return IsWindowEnabled(main_) != FALSE; }));
        return positions;
    }

    void keep(const std::string& path, const std::string& name) {
        EXPECT_TRUE(CopyFileA(path.c_str(), join(kept_, name).c_str(), FALSE)) << name;
    }

    std::string source_;
    std::string kept_;
};

TEST_F(RealEncoder, EncodesTheChosenFileWithALiveProgressBar) {
    // Nothing from an earlier run may stand in for this run's files.
    for (const char* name : {"song.wav", "song_lc.aac", "song_main.aac"})
        DeleteFileA(join(kept_, name).c_str());
    for (const int profile : {kProfileLc, kProfileMain}) {
        SCOPED_TRACE(profile == kProfileLc ? "LC" : "Main");
        load_source(source_);
        click_profile(profile);
        const std::string output = source_.substr(0, source_.size() - 3) + "aac";
        DeleteFileA(output.c_str());

        std::string status;
        const std::set<int> positions = encode_and_watch(&status);
        std::string seen;
        for (int p : positions)
            seen += std::to_string(p) + " ";
        EXPECT_GE(positions.size(), 3u) << "positions seen: " << seen;
        EXPECT_TRUE(positions.lower_bound(1) != positions.end() && *positions.lower_bound(1) < 100)
            << "the bar was never seen on its way: " << seen;
        EXPECT_NE(status.find("song.wav"), std::string::npos) << "status line: " << status;

        const std::string start = read_start(output, 2);
        ASSERT_EQ(start.size(), 2u) << "no output file " << output;
        EXPECT_EQ(static_cast<unsigned char>(start[0]), 0xFF) << "not an ADTS stream";
        EXPECT_EQ(static_cast<unsigned char>(start[1]) & 0xF6, 0xF0) << "not an ADTS stream";
        EXPECT_TRUE(files_matching(folder_.path(), "*.tmp").empty()) << "a temporary file is left";
        keep(output, profile == kProfileLc ? "song_lc.aac" : "song_main.aac");
        expect_nothing_open();
    }
    keep(source_, "song.wav");
}

TEST_F(RealEncoder, AnEncoderErrorIsShownOverTheProgressWindowWhichThenCloses) {
    // The program only reads the format; the encoder finds that there is no audio at all.
    const std::string no_audio =
        write_file("noaudio.wav", riff_wave(chunk("fmt ", format_fields({1, 2, kRate, 16}))));
    load_source(no_audio);
    click(control(kEncode));
    HWND progress = wait_for_owned(app(), main_, &is_progress_window);
    ASSERT_NE(progress, nullptr) << app().describe_windows();

    HWND box = nullptr;
    ASSERT_TRUE(wait_until([&] { return (box = message_box_owned_by(progress)) != nullptr; }))
        << "no message box over the progress window";
    const MessageBoxFacts facts = read_message_box(box);
    EXPECT_NE(facts.text.find("noaudio.wav"), std::string::npos) << facts.text;
    EXPECT_NE(facts.text.find("data"), std::string::npos) << "names the problem: " << facts.text;
    EXPECT_TRUE(IsWindow(progress)) << "the window stays up while the message is shown";
    RECT area;
    GetWindowRect(box, &area);
    std::cout << "screenshot: " << save_png(capture_screen(area), "encoder_error.png") << "\n";

    PostMessageA(box, WM_COMMAND, IDOK, 0);
    EXPECT_TRUE(app().wait_until_gone(progress)) << "the window does not close after the message";
    EXPECT_TRUE(wait_until([&] { return IsWindowEnabled(main_) != FALSE; }));
    EXPECT_EQ(GetFileAttributesA(folder_.file("noaudio.aac").c_str()), INVALID_FILE_ATTRIBUTES)
        << "an output was written for a file without audio";
    EXPECT_TRUE(files_matching(folder_.path(), "*.tmp").empty()) << "a temporary file is left";
}

}  // namespace
}  // namespace brevix::e2e
