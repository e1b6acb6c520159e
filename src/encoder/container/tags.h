// What a file says about its recording (title, artist, ...): read from a WAV file's tags,
// written into an MP4 file's.
#pragma once

#include <string>

namespace brevix::aac {

// All texts UTF-8; empty: not given. ADTS streams have no place for tags.
struct Tags {
    std::string title;
    std::string artist;
    std::string album;
    std::string date;  // as the source gives it ("2019", "2019-05-04")
    std::string genre;
    std::string comment;
    int track = 0;     // 0: not given
    int tracks = 0;    // how many tracks the album has; 0: not given
    std::string tool;  // the program that encoded the file, with its version
};

}  // namespace brevix::aac
