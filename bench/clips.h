// The benchmark's test material, synthesised here so every run codes exactly the same
// samples: each clip stresses a different part of an encoder (tonal resolution, pre-echo,
// noise coding, speech formants, stereo image).
#pragma once

#include <string>
#include <vector>

namespace brevix::bench {

struct Clip {
    std::string name;
    std::string description;
    int sample_rate = 44100;
    std::vector<std::vector<float>> channels;  // left, right (or one); -1..1, peak -1 dBFS
    double seconds() const {
        return channels.empty() ? 0.0 : static_cast<double>(channels[0].size()) / sample_rate;
    }
};

// Names of the clips make_clip() knows, in table order: the stereo ones, then the mono
// ones (whose names end in "_mono").
std::vector<std::string> clip_names();
bool is_mono_clip(const std::string& name);
// Clips whose partials are plucked or struck strings, where noise between them is heard.
bool is_tonal_clip(const std::string& name);

// Generates the named clip, `seconds` long at 44.1 kHz. Throws std::invalid_argument for
// an unknown name.
Clip make_clip(const std::string& name, double seconds);

}  // namespace brevix::bench
