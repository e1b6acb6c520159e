// Reads the header of a WAV file: finds the RIFF chunk of form WAVE, inside it the first
// "fmt " chunk, and takes the format tag, channel count and sampling rate from the first
// eight bytes of that chunk's data. No audio data is read.
//
// The chunk walk follows the RIFF rules of the platform's multimedia file functions: a chunk
// is a four-character identifier, a 32-bit little-endian data size and the data, padded to
// an even length; a RIFF chunk's data starts with a four-character form type. Chunks that do
// not match are skipped by seeking over them, so the probe reads a few bytes per chunk header
// and eight bytes of the format chunk, whatever the size of the file.
#pragma once

#include <cstdint>
#include <string>

#include "job/byte_source.h"

namespace brevix::job {

enum class ProbeStatus {
    kPcm,                  // a PCM format chunk was found; the fields below are valid
    kCannotOpen,           // the file could not be opened
    kNotWave,              // no RIFF chunk of form WAVE among the file's chunks
    kNoFormatChunk,        // the WAVE chunk holds no "fmt " chunk
    kFormatChunkTooShort,  // the "fmt " chunk declares fewer than the eight bytes needed
    kShortRead,            // the file ends inside the "fmt " chunk
    kNotPcm,               // format tag other than 1; the fields below are valid
};

struct ProbeResult {
    ProbeStatus status = ProbeStatus::kCannotOpen;
    std::uint16_t format_tag = 0;
    std::uint16_t channels = 0;
    std::uint32_t samples_per_second = 0;
};

constexpr std::uint16_t kPcmFormatTag = 1;

ProbeResult probe_wav(ByteSource& source);

// Opens the file (binary, read-only) and probes it; the file is closed before returning.
ProbeResult probe_wav_file(const std::string& path);

}  // namespace brevix::job
