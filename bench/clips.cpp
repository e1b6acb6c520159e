#include "bench/clips.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <stdexcept>

namespace brevix::bench {
namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr int kRate = 44100;
constexpr double kPeak = 0.891;  // -1 dBFS

using Signal = std::vector<double>;

struct Stereo {
    Signal left;
    Signal right;
    explicit Stereo(std::size_t n) : left(n, 0.0), right(n, 0.0) {}
};

// SplitMix64: a tiny generator whose output is the same on every machine and library,
// so the clips are too.
class Random {
public:
    explicit Random(std::uint64_t seed) : state_(seed) {}
    double uniform() {  // [0, 1)
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return static_cast<double>((z ^ (z >> 31)) >> 11) * 0x1.0p-53;
    }
    double symmetric() { return 2.0 * uniform() - 1.0; }
    double gaussian() {  // Box-Muller
        const double u = 1.0 - uniform();
        return std::sqrt(-2.0 * std::log(u)) * std::cos(2.0 * kPi * uniform());
    }

private:
    std::uint64_t state_;
};

double midi_hz(double note) {
    return 440.0 * std::pow(2.0, (note - 69.0) / 12.0);
}

std::size_t samples(double seconds) {
    return static_cast<std::size_t>(std::max(0.0, seconds) * kRate);
}

// Adds `mono` from sample `at` on, with a constant-power pan from -1 (left) to 1 (right).
void mix(Stereo& out, const Signal& mono, std::size_t at, double gain, double pan) {
    const double angle = (std::clamp(pan, -1.0, 1.0) + 1.0) * kPi / 4.0;
    const double gl = gain * std::cos(angle);
    const double gr = gain * std::sin(angle);
    for (std::size_t i = 0; i < mono.size() && at + i < out.left.size(); ++i) {
        out.left[at + i] += gl * mono[i];
        out.right[at + i] += gr * mono[i];
    }
}

// Two-pole resonator with unit gain at 0 Hz (the form used for formant filters), so a
// cascade of them keeps the source's level and adds the natural spectral tilt.
class Resonator {
public:
    Resonator(double hz, double bandwidth) { tune(hz, bandwidth); }
    void tune(double hz, double bandwidth) {
        const double r = std::exp(-kPi * bandwidth / kRate);
        b_ = 2.0 * r * std::cos(2.0 * kPi * hz / kRate);
        c_ = -r * r;
        a_ = 1.0 - b_ - c_;
    }
    double operator()(double x) {
        const double y = a_ * x + b_ * y1_ + c_ * y2_;
        y2_ = y1_;
        y1_ = y;
        return y;
    }

private:
    double a_ = 0.0, b_ = 0.0, c_ = 0.0, y1_ = 0.0, y2_ = 0.0;
};

// Adds a decaying sinusoid by rotating a phasor: far cheaper than sin() per sample.
void add_partial(Signal& out, double hz, double amplitude, double decay_seconds, double phase) {
    const double w = 2.0 * kPi * hz / kRate;
    const double c = std::cos(w);
    const double s = std::sin(w);
    const double d = std::exp(-1.0 / (decay_seconds * kRate));
    double re = amplitude * std::cos(phase);
    double im = amplitude * std::sin(phase);
    for (double& v : out) {
        v += im;
        const double next_re = (re * c - im * s) * d;
        im = (re * s + im * c) * d;
        re = next_re;
    }
}

// Raised-cosine attack over `attack` samples and release over the last `release` samples.
void envelope(Signal& x, std::size_t attack, std::size_t release) {
    for (std::size_t i = 0; i < attack && i < x.size(); ++i) {
        x[i] *= 0.5 - 0.5 * std::cos(kPi * static_cast<double>(i) / static_cast<double>(attack));
    }
    for (std::size_t i = 0; i < release && i < x.size(); ++i) {
        x[x.size() - 1 - i] *=
            0.5 - 0.5 * std::cos(kPi * static_cast<double>(i) / static_cast<double>(release));
    }
}

// A struck string: slightly inharmonic partials, the upper ones quieter and shorter.
Signal piano_note(double hz, double length, double velocity, Random& random) {
    Signal note(samples(length), 0.0);
    for (int h = 1; h <= 40; ++h) {
        const double partial = h * hz * std::sqrt(1.0 + 0.0004 * h * h);
        if (partial > 7000.0) {
            break;
        }
        const double amplitude = velocity * (0.8 + 0.4 * random.uniform()) / std::pow(h, 1.1);
        add_partial(note, partial, amplitude, 1.6 / (1.0 + 0.2 * (h - 1)),
                    2.0 * kPi * random.uniform());
    }
    envelope(note, samples(0.004), samples(0.04));
    return note;
}

// Dense low chords (6-7 notes below middle C) every 1.5 s, spread across the stereo
// image by pitch: many partials share each low band, which needs fine tonal resolution.
Stereo chords(double seconds) {
    static const int kChords[][7] = {
        {36, 43, 48, 52, 55, 58, 0},  {29, 36, 41, 45, 48, 51, 57}, {34, 41, 46, 50, 53, 56, 0},
        {39, 46, 51, 55, 58, 61, 0},  {32, 39, 44, 48, 51, 55, 0},  {37, 44, 49, 53, 56, 60, 0},
        {31, 38, 43, 47, 50, 53, 57}, {36, 43, 48, 52, 55, 59, 62},
    };
    Stereo out(samples(seconds));
    Random random(11);
    const double chord_length = 1.5;
    for (int k = 0; k * chord_length < seconds; ++k) {
        const int* notes = kChords[k % 8];
        for (int i = 0; i < 7 && notes[i] != 0; ++i) {
            const double velocity = 0.6 + 0.4 * random.uniform();
            const Signal note = piano_note(midi_hz(notes[i]), chord_length, velocity, random);
            mix(out, note, samples(k * chord_length), 1.0, (notes[i] - 46) / 20.0);
        }
    }
    return out;
}

// Kick drum: a sine sweeping down from 155 to 45 Hz with a short click on top.
Signal kick(Random& random) {
    Signal x(samples(0.5), 0.0);
    double phase = 0.0;
    for (std::size_t i = 0; i < x.size(); ++i) {
        const double t = static_cast<double>(i) / kRate;
        phase += 2.0 * kPi * (45.0 + 110.0 * std::exp(-t / 0.03)) / kRate;
        x[i] =
            std::sin(phase) * std::exp(-t / 0.25) + 0.5 * random.symmetric() * std::exp(-t / 0.002);
    }
    envelope(x, 0, samples(0.05));  // fade out: no click where the sound is cut
    return x;
}

// Snare: bright noise and a 185 Hz body, both decaying fast.
Signal snare(Random& random) {
    Signal x(samples(0.3), 0.0);
    double last = 0.0;
    for (std::size_t i = 0; i < x.size(); ++i) {
        const double t = static_cast<double>(i) / kRate;
        const double noise = random.gaussian();
        x[i] = 0.5 * (noise - last) * std::exp(-t / 0.09) +
               0.6 * std::sin(2.0 * kPi * 185.0 * t) * std::exp(-t / 0.05);
        last = noise;
    }
    envelope(x, 0, samples(0.05));  // fade out: no click where the sound is cut
    return x;
}

// Castanet-like click: a burst of noise ringing two wooden resonances, over in ~10 ms.
Signal click(Random& random) {
    Signal x(samples(0.03), 0.0);
    Resonator low(2200.0, 300.0);
    Resonator high(4600.0, 500.0);
    for (std::size_t i = 0; i < x.size(); ++i) {
        const double t = static_cast<double>(i) / kRate;
        const double burst = random.gaussian() * std::exp(-t / 0.0006);
        x[i] = burst + 6.0 * low(burst) + 8.0 * high(burst);
    }
    return x;
}

// Hi-hat: doubly differenced noise (most energy above 5 kHz) with a short decay.
Signal hihat(Random& random, double decay) {
    Signal x(samples(5.0 * decay), 0.0);
    double a = 0.0;
    double b = 0.0;
    for (std::size_t i = 0; i < x.size(); ++i) {
        const double noise = random.gaussian();
        const double d = noise - 2.0 * a + b;
        b = a;
        a = noise;
        x[i] = 0.25 * d * std::exp(-static_cast<double>(i) / (decay * kRate));
    }
    return x;
}

// Sharp attacks out of near silence (castanet doubles, kick, snare over a quiet tone):
// any noise an encoder spreads in front of an attack stands out here.
Stereo transients(double seconds) {
    Stereo out(samples(seconds));
    Random random(23);
    Signal bed(out.left.size(), 0.0);
    add_partial(bed, 196.0, 1.0, 1e9, 0.0);
    add_partial(bed, 294.0, 0.7, 1e9, 1.0);
    mix(out, bed, 0, 0.012, 0.0);
    const double step = 0.125;  // sixteenth notes at 120 beats per minute
    static const char kPattern[] = "k.cc.kcsk.c.sccc";
    for (int s = 0; s * step < seconds; ++s) {
        const std::size_t at = samples(s * step);
        switch (kPattern[s % 16]) {
            case 'k':
                mix(out, kick(random), at, 0.8, 0.0);
                break;
            case 's':
                mix(out, snare(random), at, 0.7, 0.25);
                break;
            case 'c': {
                const double gain = 0.25 + 0.2 * random.uniform();
                mix(out, click(random), at, gain, -0.4);
                mix(out, click(random), at + samples(0.018 + 0.01 * random.uniform()), 0.7 * gain,
                    -0.4);
                break;
            }
            default:
                break;
        }
    }
    return out;
}

// Pink noise from white noise: a standard parallel bank of first-order filters.
struct Pink {
    double b[7] = {};
    double operator()(double white) {
        b[0] = 0.99886 * b[0] + white * 0.0555179;
        b[1] = 0.99332 * b[1] + white * 0.0750759;
        b[2] = 0.96900 * b[2] + white * 0.1538520;
        b[3] = 0.86650 * b[3] + white * 0.3104856;
        b[4] = 0.55000 * b[4] + white * 0.5329522;
        b[5] = -0.7616 * b[5] - white * 0.0168980;
        const double pink = b[0] + b[1] + b[2] + b[3] + b[4] + b[5] + b[6] + white * 0.5362;
        b[6] = white * 0.115926;
        return pink;
    }
};

// Pink noise, left and right partly correlated, as a wide noisy ensemble would be.
Stereo pink_noise(double seconds) {
    Stereo out(samples(seconds));
    Random random(37);
    Pink common, left, right;
    for (std::size_t i = 0; i < out.left.size(); ++i) {
        const double c = common(random.gaussian());
        out.left[i] = 0.8 * c + 0.6 * left(random.gaussian());
        out.right[i] = 0.8 * c + 0.6 * right(random.gaussian());
    }
    return out;
}

struct Vowel {
    double formant[4];
};
constexpr Vowel kVowels[] = {
    {{730, 1090, 2440, 3400}},  // a
    {{270, 2290, 3010, 3600}},  // i
    {{300, 870, 2240, 3400}},   // u
    {{530, 1840, 2480, 3500}},  // e
    {{570, 840, 2410, 3400}},   // o
};
constexpr double kFormantBandwidth[4] = {70, 100, 130, 170};

// Speech-like voice: a glottal pulse train with intonation through four gliding formant
// resonators, syllables of about 250 ms with fricative or plosive onsets, and pauses
// between phrases. A male voice first, then a female one (higher pitch and formants).
Signal voice(double seconds) {
    Signal out(samples(seconds), 0.0);
    Random random(41);
    const std::size_t syllable = samples(0.25);
    const std::size_t block = 32;  // formants and pitch are updated every 32 samples
    Resonator formants[4] = {{500, 70}, {1500, 100}, {2500, 130}, {3500, 170}};
    Resonator hiss(5500.0, 2500.0);
    Resonator shush(2800.0, 1200.0);
    double phase = 0.0;
    double previous_glottis = 0.0;
    const Vowel* from = &kVowels[0];
    const Vowel* to = &kVowels[0];
    int onset = 0;  // 0 none, 1 "s", 2 "sh", 3 plosive
    for (std::size_t i = 0; i < out.size(); ++i) {
        const std::size_t k = i / syllable;
        const std::size_t pos = i % syllable;
        const bool female = i >= out.size() / 2;
        const bool pause = k % 9 == 8;  // a breath after every eight syllables
        if (pos == 0) {
            from = to;
            to = &kVowels[static_cast<std::size_t>(random.uniform() * 5.0)];
            onset = static_cast<int>(random.uniform() * 4.0);
        }
        if (i % block == 0) {
            const double glide =
                std::min(1.0, static_cast<double>(pos) / static_cast<double>(samples(0.05)));
            const double scale = female ? 1.17 : 1.0;
            for (int f = 0; f < 4; ++f) {
                const double hz = from->formant[f] + glide * (to->formant[f] - from->formant[f]);
                formants[f].tune(hz * scale, kFormantBandwidth[f]);
            }
        }
        // Declining pitch over each phrase with an accent on every other syllable.
        const double phrase_pos = static_cast<double>(k % 9) / 9.0;
        const double accent =
            (k % 2 == 0)
                ? 0.12 * std::sin(kPi * static_cast<double>(pos) / static_cast<double>(syllable))
                : 0.0;
        const double f0 = (female ? 215.0 : 118.0) * (1.1 - 0.2 * phrase_pos + accent);
        phase += f0 / kRate;
        phase -= std::floor(phase);
        // Rosenberg pulse: 40 % opening, 16 % closing, then closed.
        double glottis = 0.0;
        if (phase < 0.4) {
            glottis = 0.5 - 0.5 * std::cos(kPi * phase / 0.4);
        } else if (phase < 0.56) {
            glottis = std::cos(0.5 * kPi * (phase - 0.4) / 0.16);
        }
        // Lip radiation differentiates the flow; a little breath noise rides on it.
        double source = (glottis - previous_glottis) * 8.0 + 0.02 * glottis * random.gaussian();
        previous_glottis = glottis;
        const double t = static_cast<double>(pos) / kRate;
        const double consonant_end = onset == 0 ? 0.0 : 0.07;
        double voice_gain = 0.0;
        if (!pause && t >= consonant_end && t < 0.22) {
            voice_gain = std::min({1.0, (t - consonant_end) / 0.025, (0.22 - t) / 0.025});
        }
        double v = source * voice_gain;
        for (Resonator& r : formants) {
            v = r(v);
        }
        double noise = 0.0;
        if (!pause && t < consonant_end) {
            const double n = random.gaussian();
            const double fade = std::min(1.0, (consonant_end - t) / 0.01);
            if (onset == 1) {
                noise = 0.5 * hiss(n) * fade;
            } else if (onset == 2) {
                noise = 0.5 * shush(n) * fade;
            } else if (t > 0.05 && t < 0.057) {
                noise = 0.3 * n;  // the burst of a plosive after its closure
            }
        }
        out[i] = 0.3 * v + noise + 1e-4 * random.gaussian();
    }
    return out;
}

// The voice in both channels, as a centred voice is.
Stereo speech(double seconds) {
    Stereo out(samples(seconds));
    mix(out, voice(seconds), 0, 1.0, 0.0);
    return out;
}

// Karplus-Strong plucked string.
Signal pluck(double hz, double length, Random& random) {
    Signal x(samples(length), 0.0);
    std::vector<double> line(static_cast<std::size_t>(std::max(2.0, kRate / hz)));
    for (double& v : line) {
        v = random.symmetric();
    }
    std::size_t pos = 0;
    for (double& v : x) {
        const std::size_t next = (pos + 1) % line.size();
        v = line[pos];
        line[pos] = 0.996 * 0.5 * (line[pos] + line[next]);
        pos = next;
    }
    envelope(x, 0, samples(0.02));
    return x;
}

// A pop-style mix with every part at its own place in the stereo image: bass and kick in
// the centre, a plucked guitar arpeggio left, a soft pad and the hi-hat right, snare
// slightly right. Coding left and right as mid and side must keep the image intact.
Stereo panned_mix(double seconds) {
    Stereo out(samples(seconds));
    Random random(53);
    const double step = 0.125;
    static const int kBass[] = {33, 33, 45, 33, 29, 29, 41, 29, 36, 36, 48, 36, 31, 31, 43, 43};
    static const int kArpeggio[4][4] = {
        {57, 60, 64, 69}, {53, 57, 60, 65}, {55, 60, 64, 67}, {55, 59, 62, 67}};
    static const int kPad[4][3] = {{57, 60, 64}, {53, 57, 60}, {52, 55, 60}, {50, 55, 59}};
    for (int s = 0; s * step < seconds; ++s) {
        const std::size_t at = samples(s * step);
        const int bar = (s / 16) % 4;
        if (s % 2 == 0) {
            Signal bass(samples(2 * step), 0.0);
            const double hz = midi_hz(kBass[(s / 2) % 16]);
            for (int h = 1; h <= 8; ++h) {
                add_partial(bass, h * hz, 1.0 / h, 0.4 / h, 0.0);
            }
            envelope(bass, samples(0.005), samples(0.01));
            mix(out, bass, at, 0.35, 0.0);
            mix(out, hihat(random, s % 4 == 2 ? 0.08 : 0.025), at, 0.3, 0.45);
        }
        mix(out, pluck(midi_hz(kArpeggio[bar][s % 4] + 12), 1.0, random), at, 0.3, -0.7);
        if (s % 8 == 0) {
            mix(out, kick(random), at, 0.6, 0.0);
        }
        if (s % 8 == 4) {
            mix(out, snare(random), at, 0.45, 0.15);
        }
        if (s % 16 == 0) {
            // Slightly detuned sawtooth voices, band-limited by construction.
            Signal pad(samples(16 * step), 0.0);
            for (const int note : kPad[bar]) {
                for (double detune : {-0.06, 0.06}) {
                    const double hz = midi_hz(note + detune);
                    for (int h = 1; h * hz < 6000.0; ++h) {
                        add_partial(pad, h * hz, 1.0 / (h * h), 1e9, random.uniform() * 2 * kPi);
                    }
                }
            }
            envelope(pad, samples(0.3), samples(0.3));
            mix(out, pad, at, 0.06, 0.6);
        }
    }
    return out;
}

// `x` scaled to the peak `peak`.
Signal with_peak(Signal x, double peak) {
    double largest = 1e-12;
    for (const double v : x) {
        largest = std::max(largest, std::fabs(v));
    }
    for (double& v : x) {
        v *= peak / largest;
    }
    return x;
}

// A plucked harpsichord string: many bright partials up to 12 kHz that ring long, the
// upper ones a little shorter, and the quill's short noise at the start.
Signal harpsichord_note(double hz, double length, Random& random) {
    Signal note(samples(length), 0.0);
    for (int h = 1; h * hz < 12000.0; ++h) {
        const double partial = h * hz * std::sqrt(1.0 + 0.00002 * h * h);
        const double amplitude = (0.7 + 0.6 * random.uniform()) / std::pow(h, 0.8);
        add_partial(note, partial, amplitude, 2.5 / (1.0 + 0.05 * (h - 1)),
                    2.0 * kPi * random.uniform());
    }
    for (std::size_t i = 0; i < samples(0.003) && i < note.size(); ++i) {
        note[i] += 0.3 * random.gaussian();
    }
    envelope(note, samples(0.001), samples(0.05));
    return note;
}

// A harpsichord playing broken chords in sixteenth notes (about 7 notes a second), each
// string ringing on under the next ones.
Signal harpsichord(double seconds) {
    static const int kFigures[4][8] = {{60, 64, 67, 72, 76, 72, 67, 64},
                                       {57, 60, 64, 69, 72, 69, 64, 60},
                                       {62, 65, 69, 74, 77, 74, 69, 65},
                                       {55, 59, 62, 67, 71, 67, 62, 59}};
    Signal out(samples(seconds), 0.0);
    Random random(61);
    const double step = 0.14;
    for (int s = 0; s * step < seconds; ++s) {
        const Signal note = harpsichord_note(midi_hz(kFigures[(s / 16) % 4][s % 8]), 1.2, random);
        const std::size_t at = samples(s * step);
        for (std::size_t i = 0; i < note.size() && at + i < out.size(); ++i) {
            out[at + i] += note[i];
        }
    }
    return out;
}

// A steady 440 Hz tone at -6 dBFS hard right, castanet clicks peaking at -1 dBFS
// (single and double, at uneven times) hard left: a pair whose channels want different
// windows at different times.
Stereo tone_clicks(double seconds) {
    Stereo out(samples(seconds));
    Random random(67);
    add_partial(out.right, 440.0, 0.5, 1e9, 0.0);
    for (double t = 0.3; t < seconds; t += 0.25 + 0.5 * random.uniform()) {
        mix(out, with_peak(click(random), 0.89), samples(t), 1.0, -1.0);
        if (random.uniform() < 0.4) {
            mix(out, with_peak(click(random), 0.6), samples(t + 0.02), 1.0, -1.0);
        }
    }
    return out;
}

// Two instruments of their own on either side, both at full level: a harpsichord left, a
// voice right.
Stereo wide_pair(double seconds) {
    Stereo out(samples(seconds));
    mix(out, with_peak(harpsichord(seconds), 1.0), 0, 1.0, -1.0);
    mix(out, with_peak(voice(seconds), 1.0), 0, 1.0, 1.0);
    return out;
}

// A harpsichord over pink noise with the right channel the left one negated: a source
// out of phase between the speakers, whose image mid/side or shared noise must keep.
Stereo antiphase(double seconds) {
    Stereo out(samples(seconds));
    const Signal music = harpsichord(seconds);
    Random random(71);
    Pink pink;
    for (std::size_t i = 0; i < out.left.size(); ++i) {
        out.left[i] = 0.3 * music[i] + 0.15 * pink(random.gaussian());
        out.right[i] = -out.left[i];
    }
    return out;
}

// A voice in the centre over music across the image, 10 dB below it: a harpsichord left
// of centre and low chords spread wide.
Stereo speech_music(double seconds) {
    Stereo out = chords(seconds);
    double peak = 1e-12;
    for (std::size_t i = 0; i < out.left.size(); ++i) {
        peak = std::max({peak, std::fabs(out.left[i]), std::fabs(out.right[i])});
    }
    for (std::size_t i = 0; i < out.left.size(); ++i) {
        out.left[i] *= 0.2 / peak;
        out.right[i] *= 0.2 / peak;
    }
    mix(out, with_peak(harpsichord(seconds), 0.2), 0, 1.0, -0.5);
    mix(out, with_peak(voice(seconds), 1.0), 0, 1.0, 0.0);
    return out;
}

// The panned mix driven 12 dB too hot and clipped at full scale, as a loud master is.
Stereo clipped_mix(double seconds) {
    Stereo out = panned_mix(seconds);
    double peak = 1e-9;
    for (std::size_t i = 0; i < out.left.size(); ++i) {
        peak = std::max({peak, std::fabs(out.left[i]), std::fabs(out.right[i])});
    }
    const double gain = 4.0 / peak;
    for (std::size_t i = 0; i < out.left.size(); ++i) {
        out.left[i] = std::clamp(out.left[i] * gain, -1.0, 1.0);
        out.right[i] = std::clamp(out.right[i] * gain, -1.0, 1.0);
    }
    return out;
}

// Scales to a peak of `full` (-1 dBFS unless given); `mono` keeps the sum of both sides
// only.
Clip finish(const std::string& name, const std::string& description, Stereo&& s, bool mono = false,
            double full = kPeak) {
    if (mono) {
        for (std::size_t i = 0; i < s.left.size(); ++i) {
            s.left[i] += s.right[i];
        }
    }
    double peak = 1e-9;
    for (std::size_t i = 0; i < s.left.size(); ++i) {
        peak = std::max({peak, std::fabs(s.left[i]), mono ? 0.0 : std::fabs(s.right[i])});
    }
    Clip clip;
    clip.name = name;
    clip.description = description;
    clip.sample_rate = kRate;
    clip.channels.resize(mono ? 1 : 2);
    for (std::size_t i = 0; i < s.left.size(); ++i) {
        clip.channels[0].push_back(static_cast<float>(s.left[i] * full / peak));
        if (!mono) {
            clip.channels[1].push_back(static_cast<float>(s.right[i] * full / peak));
        }
    }
    return clip;
}

// The clips in table order: the stereo ones, then the mono ones (named "..._mono").
struct ClipKind {
    const char* name;
    const char* description;
    Stereo (*make)(double seconds);
    bool mono;
    bool tonal;           // plucked or struck partials, where noise between them is heard
    double full = kPeak;  // the peak it is scaled to
};

const ClipKind kClips[] = {
    {"chords", "dense low piano chords", chords, false, true},
    {"transients", "castanets, kick and snare over a quiet tone", transients, false, false},
    {"pink_noise", "partly correlated pink noise", pink_noise, false, false},
    {"speech", "formant voice, male then female, centred", speech, false, false},
    {"panned_mix", "bass, guitar, pad and drums across the image", panned_mix, false, false},
    {"tone_clicks", "440 Hz tone hard right, castanet clicks hard left", tone_clicks, false, false},
    {"wide_pair", "harpsichord left, voice right", wide_pair, false, true},
    {"antiphase", "harpsichord and pink noise, right = -left", antiphase, false, true},
    {"speech_music", "voice in the centre over harpsichord and chords", speech_music, false, true},
    {"clipped_mix", "the panned mix 12 dB hot, clipped at full scale", clipped_mix, false, false,
     1.0},
    {"speech_mono", "the speech clip as one channel", speech, true, false},
    {"mix_mono", "the panned mix as one channel", panned_mix, true, false},
};

const ClipKind* find_clip(const std::string& name) {
    for (const ClipKind& kind : kClips) {
        if (name == kind.name) {
            return &kind;
        }
    }
    return nullptr;
}

}  // namespace

std::vector<std::string> clip_names() {
    std::vector<std::string> names;
    for (const ClipKind& kind : kClips) {
        names.emplace_back(kind.name);
    }
    return names;
}

bool is_tonal_clip(const std::string& name) {
    const ClipKind* kind = find_clip(name);
    return kind != nullptr && kind->tonal;
}

bool is_mono_clip(const std::string& name) {
    const ClipKind* kind = find_clip(name);
    return kind != nullptr && kind->mono;
}

Clip make_clip(const std::string& name, double seconds) {
    const ClipKind* kind = find_clip(name);
    if (kind == nullptr) {
        throw std::invalid_argument("unknown clip '" + name + "'");
    }
    return finish(name, kind->description, kind->make(seconds), kind->mono, kind->full);
}

}  // namespace brevix::bench
