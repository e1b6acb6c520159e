// Backward-adaptive prediction of the Main profile: every spectral line of a long window
// below the prediction band limit has a second-order lattice LMS predictor that runs on the
// reconstructed spectrum, in the encoder exactly as in a decoder, so the predicted values
// cost no bits. Bands whose lines the predictors foresee well are coded as the residual
// (value minus prediction); the decoder adds the prediction back.
//
// Encoder and decoders must keep bit-identical predictor states frame after frame, so all
// state variables are rounded to the top 16 bits of a float's mantissa after every update
// (the same rule in every decoder), and a group of lines is reset every frame that
// carries predictor data, cycling through all lines, so that any remaining difference
// cannot persist.
#pragma once

#include <cstdint>

#include "core/aac_types.h"
#include "core/ics.h"
#include "core/stereo_mask.h"

namespace brevix::aac {

// Long-window bands that may be predicted at 44.1 and 48 kHz (the prediction band limit).
constexpr int kPredictionBands = 40;
// Predictor reset groups: group n (1..30) holds the lines i with i % 30 == n - 1.
constexpr int kPredictorResetGroups = 30;

// The predictors of one channel, one per line below the prediction band limit (the first
// kPredictionBands long bands; `lines` must cover them).
class Predictors {
public:
    explicit Predictors(int lines);

    // Back to the initial state (as after a frame of short windows).
    void reset_all();
    // Resets the lines of reset group `group` (1..30).
    void reset_group(int group);
    // Resets the lines [start, end).
    void reset_lines(int start, int end);
    // Marks the lines [start, end) as of unknown state in some decoders (after noise
    // substitution) until a reset covers them again; see known().
    void mark_unknown(int start, int end);
    // Whether every decoder's state of the lines [start, end) equals this one's.
    bool known(int start, int end) const;
    // Computes every line's prediction from the current states into prediction().
    void predict();
    // Updates every line's state with its reconstruction `x` (as a decoder rebuilds it,
    // prediction included where used; lines beyond `lines()` are ignored).
    void update(const float* x);

    int lines() const { return lines_; }
    const float* prediction() const { return prediction_; }
    // Reset group announced next (1..30); advanced by the caller.
    int next_reset_group = 1;

private:
    int lines_;
    float r0_[kFrameLength];
    float r1_[kFrameLength];
    float cor0_[kFrameLength];
    float cor1_[kFrameLength];
    float var0_[kFrameLength];
    float var1_[kFrameLength];
    float prediction_[kFrameLength] = {};
    std::uint8_t unknown_[kFrameLength];
};

// Chooses the predicted bands of one element's channels (`count`: 1, or 2 for a pair with
// a common window, which shares its prediction flags) and replaces the spectrum and energy
// of those bands by the residual. `predictors[c]->predict()` must have run. Sets the
// prediction fields of every channel's Ics alike; short windows get none.
void choose_prediction(Ics* const* ics, Predictors* const* predictors, int count);

// After quantisation: rebuilds each channel's spectrum as a decoder does (dequantised
// values, M/S undone by `mask` for a pair, prediction added in predicted bands) and
// updates the predictors, applying the frame's reset. Short windows reset everything.
void update_prediction(const Ics* const* ics, Predictors* const* predictors, int count,
                       const StereoMask* mask);

}  // namespace brevix::aac
