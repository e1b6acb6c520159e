#include "support/program_copy.h"

#include <sstream>

#include "support/paths.h"
#include "support/window.h"

namespace brevix::e2e {

bool MainState::operator==(const MainState& other) const {
    return input == other.input && format == other.format && output == other.output &&
           main == other.main && lc == other.lc && ssr == other.ssr && bitrates == other.bitrates &&
           selection == other.selection;
}

MainState read_main_state(HWND main) {
    MainState state;
    state.input = window_text(GetDlgItem(main, kInputDisplay));
    state.format = window_text(GetDlgItem(main, kFormatDisplay));
    state.output = window_text(GetDlgItem(main, kOutputDisplay));
    state.main = is_checked(GetDlgItem(main, kProfileMain));
    state.lc = is_checked(GetDlgItem(main, kProfileLc));
    state.ssr = is_checked(GetDlgItem(main, kProfileSsr));
    state.bitrates = combo_items(GetDlgItem(main, kBitrateList));
    state.selection = combo_selection(GetDlgItem(main, kBitrateList));
    return state;
}

std::string describe(const MainState& state) {
    std::ostringstream out;
    out << "input \"" << state.input << "\", format \"" << state.format << "\", output \""
        << state.output << "\", profile buttons " << state.main << state.lc << state.ssr << ", "
        << state.bitrates.size() << " bit rates, selected " << state.selection;
    if (state.selection >= 0 && static_cast<std::size_t>(state.selection) < state.bitrates.size())
        out << " (\"" << state.bitrates[static_cast<std::size_t>(state.selection)] << "\")";
    return out.str();
}

void ProgramCopy::SetUp() {
    // Source paths with spaces are refused, so the folder itself must have none.
    ASSERT_EQ(folder_.path().find(' '), std::string::npos) << folder_.path();
    const std::string program = join(program_folder(), "brevix.exe");
    if (!program_subfolder().empty()) {
        ASSERT_TRUE(folder_.make_folder(program_subfolder())) << program_folder();
    }
    ASSERT_TRUE(CopyFileA(built_program().c_str(), program.c_str(), FALSE)) << program;
    if (with_encoder()) {
        encoder_ = std::make_unique<EncoderDouble>(program_folder());
        ASSERT_TRUE(encoder_->installed()) << test_encoder_program();
        ASSERT_TRUE(encoder_->set_mode(EncoderMode::kClose));
    }
    Launch launch;
    launch.program = program;
    launch.folder = working_folder();
    app_ = std::make_unique<App>(launch);
    main_ = app_->main_window();
    ASSERT_NE(main_, nullptr) << "the main window did not appear\n" << app_->describe_windows();
}

std::string ProgramCopy::program_folder() const {
    return program_subfolder().empty() ? folder_.path() : folder_.file(program_subfolder());
}

void ProgramCopy::TearDown() {
    // The program goes first, then the encoder's runs, then the folder.
    app_.reset();
    encoder_.reset();
}

std::string ProgramCopy::write_file(const std::string& name, const std::string& bytes) {
    EXPECT_TRUE(folder_.write(name, bytes)) << folder_.file(name);
    return folder_.file(name);
}

FileDialog ProgramCopy::open_source_dialog(Trigger trigger) {
    if (trigger == Trigger::kButton)
        click(control(kSelectInput));
    else
        post_menu_command(main_, kSelectInput);
    HWND dialog = wait_for_owned(*app_, main_, &is_file_dialog);
    EXPECT_NE(dialog, nullptr) << "no open dialog\n" << app_->describe_windows();
    return FileDialog(dialog);
}

bool ProgramCopy::choose_source(const std::string& path, Trigger trigger, Confirm confirm) {
    FileDialog dialog = open_source_dialog(trigger);
    if (dialog.hwnd() == nullptr)
        return false;
    const bool gone = dialog.choose(*app_, path, confirm);
    EXPECT_TRUE(gone) << "the open dialog stayed for " << path << "\n" << app_->describe_windows();
    return gone;
}

void ProgramCopy::load_source(const std::string& path, Trigger trigger, Confirm confirm) {
    ASSERT_TRUE(choose_source(path, trigger, confirm));
    ASSERT_TRUE(app_->settle()) << app_->describe_windows();
    HWND box = nullptr;
    for (HWND window : owned_windows(app_->process_id(), main_)) {
        if (IsWindowVisible(window) && is_message_box(window))
            box = window;
    }
    ASSERT_EQ(box, nullptr) << path << " was refused: " << describe(read_message_box(*app_, box));
    ASSERT_EQ(window_text(control(kInputDisplay)), path);
}

bool ProgramCopy::choose_output(const std::string& path) {
    click(control(kSelectOutput));
    HWND dialog = wait_for_owned(*app_, main_, &is_file_dialog);
    EXPECT_NE(dialog, nullptr) << "no save dialog\n" << app_->describe_windows();
    if (dialog == nullptr)
        return false;
    const bool gone = FileDialog(dialog).choose(*app_, path);
    EXPECT_TRUE(gone) << "the save dialog stayed for " << path << "\n" << app_->describe_windows();
    return gone && app_->settle();
}

void ProgramCopy::click_profile(int id) {
    click(control(id));
    EXPECT_TRUE(app_->settle()) << app_->describe_windows();
}

void ProgramCopy::choose_bitrate(int row) {
    choose_combo_entry(main_, control(kBitrateList), row);
    EXPECT_TRUE(app_->settle()) << app_->describe_windows();
}

namespace {

bool is_owned_message_box(HWND dialog) {
    return GetWindow(dialog, GW_OWNER) != nullptr && is_message_box(dialog);
}

}  // namespace

HWND ProgramCopy::wait_for_message_box() {
    HWND found = nullptr;
    wait_until([&] {
        for (HWND window : top_level_windows(app_->process_id())) {
            if (IsWindowVisible(window) && class_name(window) == kDialogClass &&
                is_owned_message_box(window)) {
                found = window;
                return true;
            }
        }
        return !app_->running();
    });
    return found;
}

void ProgramCopy::expect_message(const ExpectedMessage& expected) {
    HWND box = wait_for_message_box();
    ASSERT_NE(box, nullptr) << "no message box, expected \"" << expected.text << "\"\n"
                            << app_->describe_windows();
    const MessageBoxSeen seen = read_message_box(*app_, box);
    EXPECT_EQ(seen.facts.text, expected.text) << describe(seen);
    EXPECT_EQ(seen.facts.caption, expected.caption) << describe(seen);
    EXPECT_EQ(seen.icon, expected.icon) << describe(seen);
    EXPECT_EQ(seen.facts.buttons, std::vector<std::string>{"OK"}) << describe(seen);
    EXPECT_FALSE(IsWindowEnabled(main_)) << "the main window is usable under a message box";
    EXPECT_TRUE(dismiss(*app_, box)) << describe(seen) << "\n" << app_->describe_windows();
}

void ProgramCopy::expect_nothing_open() {
    ASSERT_TRUE(app_->settle()) << app_->describe_windows();
    EXPECT_TRUE(owned_windows(app_->process_id(), main_).empty()) << app_->describe_windows();
    EXPECT_TRUE(IsWindowEnabled(main_)) << app_->describe_windows();
}

}  // namespace brevix::e2e
