// libFuzzer target for the encoder's WAV reader: each input is written to a file and read.
#include <unistd.h>

#include <cstdlib>
#include <stdexcept>

#include "bench/wav_file.h"
#include "wav/wav_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::string path = std::string(access("/dev/shm", W_OK) ? "/tmp" : "/dev/shm") +
                                    "/brevix_wav_reader_fuzz." + std::to_string(getpid());
    bool bad = !brevix::wav::write_file(path, brevix::wav::Bytes(data, data + size));
    try {
        brevix::aac::WavReader reader(path);
        const int channels = reader.format().channels;
        // Buffers exactly as long as asked (ASan sees writes past), filled out of range.
        for (int want = 1, got = 1; got > 0; want = 4096) {
            std::vector<std::vector<float>> buffers(channels, std::vector<float>(want, 1e9f));
            std::vector<float*> planar;
            for (auto& buffer : buffers)
                planar.push_back(buffer.data());
            got = reader.read(planar.data(), want);
            for (int i = 0; i < got * channels; ++i)  // samples in 16-bit scale
                bad = bad || std::abs(buffers[i % channels][i / channels]) > 32768.0f;
        }
        bad = bad || reader.frames_read() != reader.format().frames || reader.progress() != 1.0;
    } catch (const std::runtime_error&) {
    }
    unlink(path.c_str());
    if (bad)
        std::abort();
    return 0;
}
