#include "program/encode_job.h"

#include <cstdio>
#include <exception>
#include <memory>
#include <stdexcept>
#include <vector>

#include "brevix_version.h"
#include "container/adts_writer.h"
#include "container/mp4_writer.h"
#include "core/encoder.h"
#include "program/output_file.h"
#include "program/platform.h"
#include "res/product.h"
#include "wav/speaker_map.h"
#include "wav/wav_reader.h"

namespace brevix::mp4 {
namespace {

void encode(const Options& options, ProgressReporter& progress) {
    if (options.input == options.output || same_file(options.input, options.output)) {
        throw std::runtime_error("the output file must not be the input file");
    }
    aac::WavReader reader = [&]() {
        try {
            return aac::WavReader(options.input);
        } catch (const std::exception& e) {
            throw std::runtime_error("input '" + options.input + "': " + e.what());
        }
    }();
    const aac::WavFormat& format = reader.format();
    const aac::SpeakerMap speakers = [&]() {
        try {
            return aac::map_speakers(format.channels, format.channel_mask);
        } catch (const std::exception& e) {
            throw std::runtime_error("input '" + options.input + "': " + e.what());
        }
    }();

    aac::EncoderConfig config;
    config.sample_rate = format.sample_rate;
    config.channels = speakers.coded_channels;
    config.bit_rate =
        options.bit_rate > 0 ? options.bit_rate : kDefaultBitRatePerChannel * format.channels;
    config.profile = options.profile;
    config.constant_rate = options.constant_rate;
    config.tools.pns = options.noise_substitution;
    config.tools.intensity = options.intensity_stereo;
    const aac::StreamInfo info{config.profile, config.sample_rate, config.channels};

    // Check the settings and the output before anything is created on disk.
    aac::check_bit_rate(config.bit_rate, config.sample_rate, config.channels);
    if (format.frames == 0) {
        throw std::runtime_error(
            "input '" + options.input + "' holds no audio" +
            (format.truncated ? " (the file ends where the audio should begin)" : ""));
    }
    const bool mp4 = is_mp4_name(options.output);
    OutputFile output(options.output, mp4, options.input);
    std::unique_ptr<aac::ContainerWriter> container;
    if (mp4) {
        aac::Tags tags = reader.tags();
        tags.tool = BREVIX_PRODUCT_NAME " mp4 " BREVIX_VERSION_TEXT;
        for (const std::string& problem : reader.tag_problems()) {
            progress.note(file_name_of(options.input) + ": " + problem);
        }
        container = std::make_unique<aac::Mp4Writer>(info, output, format.frames, tags);
    } else {
        container = std::make_unique<aac::AdtsWriter>(info, output);
    }
    aac::Encoder encoder(config, container->overhead_bits_per_frame());

    // The reader fills one buffer per WAV channel; the encoder takes them in coded order,
    // with silence where the file has no speaker.
    std::vector<float> samples(static_cast<std::size_t>(aac::kFrameLength) *
                               static_cast<std::size_t>(format.channels + 1));
    std::vector<float*> planar;
    for (int c = 0; c < format.channels; ++c) {
        planar.push_back(samples.data() + static_cast<std::size_t>(c) * aac::kFrameLength);
    }
    const float* const silence = samples.data() + planar.size() * aac::kFrameLength;
    std::vector<const float*> coded;
    for (int c = 0; c < config.channels; ++c) {
        const int source = speakers.source[c];
        coded.push_back(source >= 0 ? planar[static_cast<std::size_t>(source)] : silence);
    }
    progress.begin(file_name_of(options.input));
    int percent = 0;
    for (;;) {
        if (interrupt_requested()) {
            throw std::runtime_error("interrupted; '" + options.output + "' was not written");
        }
        const int frames = reader.read(planar.data(), aac::kFrameLength);
        if (frames == 0) {
            break;
        }
        encoder.encode(coded.data(), frames, *container);
        const int now = static_cast<int>(reader.progress() * 100.0);
        if (now != percent) {
            percent = now;
            progress.update(percent);
        }
    }
    encoder.finish(*container);
    container->finish(reader.frames_read());
    output.commit();
    if (percent != 100) {
        progress.update(100);
    }
    const std::uint64_t missing = format.declared_frames - reader.frames_read();
    if (format.truncated && missing > 0) {
        char amount[48];
        if (missing * 100 < static_cast<std::uint64_t>(format.sample_rate)) {
            std::snprintf(amount, sizeof amount, "%u sample frame%s",
                          static_cast<unsigned>(missing), missing == 1 ? "" : "s");
        } else {
            std::snprintf(amount, sizeof amount, "%.2f s",
                          static_cast<double>(missing) / format.sample_rate);
        }
        progress.warn(file_name_of(options.input) + " is truncated: " + amount +
                      " of audio missing at its end");
    }
}

}  // namespace

std::string run_encode_job(const Options& options, ProgressReporter& progress) {
    try {
        encode(options, progress);
    } catch (const std::exception& e) {
        progress.fail(e.what());
        return e.what();
    }
    progress.done();
    return {};
}

}  // namespace brevix::mp4
