#include "job/encode_action.h"

#include <algorithm>

namespace brevix::job {
namespace {

constexpr std::size_t kMaxPathLength = kPathBufferSize - 1;  // room for the terminator

char fold(char c) {
    if (c == '/') {
        return '\\';
    }
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

template <std::size_t N>
void copy_path(const std::string& text, std::array<char, N>& buffer) {
    const auto end = std::copy(text.begin(), text.end(), buffer.begin());
    *end = '\0';
}

}  // namespace

bool same_file_path(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [](char x, char y) { return fold(x) == fold(y); });
}

bool check_encode_and_copy_paths(JobState& state, MainView& view, SameFile same_file) {
    if (state.source_loaded != 1) {
        view.message_box("Please select input file", "Input file required", MessageIcon::kNone);
        return false;
    }
    if (state.bitrate_index == -1) {
        view.message_box("You must select bit rate for target file", "", MessageIcon::kNone);
        return false;
    }

    const std::string input = view.text(kInputDisplay);
    const std::string output = view.text(kOutputDisplay);
    if (input.size() > kMaxPathLength) {
        view.message_box("The input file path is too long: at most 511 characters are allowed.", "",
                         MessageIcon::kExclamation);
        return false;
    }
    if (output.size() > kMaxPathLength) {
        view.message_box(
            "The output file path is too long: at most 511 characters are allowed. Please "
            "choose a shorter output path.",
            "", MessageIcon::kExclamation);
        return false;
    }
    if (same_file(input, output)) {
        view.message_box(
            "The output file must not be the input file. Please choose another output file.", "",
            MessageIcon::kExclamation);
        return false;
    }

    copy_path(input, state.input_path);
    copy_path(output, state.output_path);
    return true;
}

}  // namespace brevix::job
