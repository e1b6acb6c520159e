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
    std::vector<float> left;  // -1..1, peak at -1 dBFS
    std::vector<float> right;
    double seconds() const { return static_cast<double>(left.size()) / sample_rate; }
};

// Names of the clips make_clip() knows, in table order.
std::vector<std::string> clip_names();

// Generates the named clip, `seconds` long, stereo at 44.1 kHz. Throws
// std::invalid_argument for an unknown name.
Clip make_clip(const std::string& name, double seconds);

}  // namespace brevix::bench
