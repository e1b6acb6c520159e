#include "wav/wav_reader.h"

#include <cstring>
#include <stdexcept>
#include <string>

#include "common/little_endian.h"
#include "wav/wav_tags.h"

namespace brevix::aac {
namespace {

constexpr std::uint16_t kFormatPcm = 0x0001;
constexpr std::uint16_t kFormatFloat = 0x0003;
constexpr std::uint16_t kFormatExtensible = 0xFFFE;
constexpr int kMaxReadFrames = 4096;
// Chunks looked at after the format and the audio (tags may follow the audio); a file of
// tiny chunks cannot keep the reader walking.
constexpr int kMaxChunksAfterAudio = 1000;
constexpr const char* kFormatOverruns =
    "damaged WAV file (the format chunk claims more bytes than the file holds)";
// Tail of the KSDATAFORMAT_SUBTYPE GUIDs; the first two bytes hold the format tag.
constexpr std::uint8_t kGuidTail[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                        0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

// Chunk names are four printable ASCII characters.
bool is_chunk_name(const std::uint8_t* p) {
    for (int i = 0; i < 4; ++i) {
        if (p[i] < 0x20 || p[i] > 0x7E) {
            return false;
        }
    }
    return true;
}

[[noreturn]] void fail(const std::string& message) {
    throw std::runtime_error(message);
}

std::string format_tag_name(std::uint16_t tag) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%04X", tag);
    return text;
}

}  // namespace

WavReader::WavReader(const std::string& path) : file_(path) {
    std::uint8_t header[12];
    if (file_.read(header, sizeof header) != sizeof header) {
        fail("not a WAV file (too short for a RIFF header)");
    }
    if (std::memcmp(header, "RF64", 4) == 0) {
        fail("RF64 (64-bit) WAV files are not supported");
    }
    if (std::memcmp(header, "RIFF", 4) != 0 || std::memcmp(header + 8, "WAVE", 4) != 0) {
        fail("not a WAV file (no RIFF/WAVE header)");
    }
    const std::uint64_t file_size = file_.size();
    std::uint64_t position = 12;
    bool have_format = false;
    bool have_data = false;
    bool after_format = false;
    bool format_overruns = false;  // the format chunk claims more bytes than the file holds
    std::uint8_t format[40] = {};
    std::uint32_t format_size = 0;
    std::uint64_t data_offset = 0;
    std::uint64_t data_bytes = 0;
    std::uint64_t declared_bytes = 0;
    int chunks_after_audio = 0;
    while (position + 8 <= file_size) {
        std::uint8_t chunk[8];
        if (!file_.seek(position) || file_.read(chunk, 8) != 8) {
            break;
        }
        // A format chunk that declares more bytes than it has makes the walk land inside
        // the next chunk: its fields would be read from that chunk's header.
        if (after_format && !is_chunk_name(chunk)) {
            fail("damaged WAV file (the format chunk is shorter than its declared size)");
        }
        // Past the format and the audio only tags are looked for, and whatever follows
        // that is no chunk ends the walk.
        if (have_format && have_data && !after_format &&
            (!is_chunk_name(chunk) || ++chunks_after_audio > kMaxChunksAfterAudio)) {
            break;
        }
        after_format = false;
        const std::uint32_t size = read_le32(chunk + 4);
        const std::uint64_t body = position + 8;
        if (std::memcmp(chunk, "fmt ", 4) == 0 && !have_format) {
            format_size = size < sizeof format ? size : sizeof format;
            format_overruns = body + size > file_size;
            if (size < 16) {
                fail("damaged WAV file (the format chunk is too short)");
            }
            if (file_.read(format, format_size) != format_size) {
                fail(kFormatOverruns);
            }
            have_format = true;
            after_format = true;
        } else if (std::memcmp(chunk, "data", 4) == 0 && !have_data) {
            data_offset = body;
            data_bytes = declared_bytes = size;
            if (size == 0xFFFFFFFFu || body + size > file_size) {
                // Unfinished or damaged file: take what is there.
                format_.truncated = size != 0xFFFFFFFFu;
                data_bytes = file_size - body;
                declared_bytes = format_.truncated ? size : data_bytes;
            }
            have_data = true;
        } else if (std::memcmp(chunk, "LIST", 4) == 0) {
            read_tags(body, size, file_size);
        }
        position = body + size + (size & 1u);
    }
    if (!have_format) {
        fail("damaged WAV file (no format chunk)");
    }
    parse_format(format, format_size);
    if (!have_data) {
        fail(format_overruns ? kFormatOverruns : "damaged WAV file (no data chunk)");
    }
    format_.frames = data_bytes / static_cast<std::uint64_t>(format_.block_align);
    format_.declared_frames = declared_bytes / static_cast<std::uint64_t>(format_.block_align);
    if (!file_.seek(data_offset)) {
        fail("cannot read the audio data");
    }
    buffer_.resize(static_cast<std::size_t>(kMaxReadFrames) *
                   static_cast<std::size_t>(format_.block_align));
}

// A LIST chunk of type INFO: the file's tags.
void WavReader::read_tags(std::uint64_t body, std::uint32_t size, std::uint64_t file_size) {
    std::uint8_t type[4];
    if (size < 4 || !file_.seek(body) || file_.read(type, 4) != 4 ||
        std::memcmp(type, "INFO", 4) != 0) {
        return;
    }
    const std::uint32_t items = size - 4;
    if (items > kMaxInfoListBytes || tag_bytes_ + items > kMaxInfoListBytes) {
        tag_problems_.push_back("its tags (a LIST/INFO chunk of " + std::to_string(size) +
                                " bytes) are too large to be tags; they were left out");
        return;
    }
    if (body + size > file_size) {
        tag_problems_.push_back(
            "its tags (LIST/INFO chunk) run past the end of the file; they were left out");
        return;
    }
    tag_bytes_ += items;
    std::vector<std::uint8_t> data(items);
    if (file_.read(data.data(), items) != items) {
        tag_problems_.push_back("its tags (LIST/INFO chunk) cannot be read; they were left out");
        return;
    }
    if (!read_info_list(data.data(), data.size(), tags_)) {
        tag_problems_.push_back(
            "its tags (LIST/INFO chunk) are damaged; only those before the damage were kept");
    }
}

void WavReader::parse_format(const std::uint8_t* data, std::uint32_t size) {
    std::uint16_t tag = read_le16(data);
    const int channels = read_le16(data + 2);
    const std::uint32_t rate = read_le32(data + 4);
    const int block_align = read_le16(data + 12);
    const int bits = read_le16(data + 14);
    if (tag == kFormatExtensible) {
        if (size < 40 || read_le16(data + 16) < 22) {
            fail("damaged WAV file (extensible format chunk is too short)");
        }
        if (std::memcmp(data + 26, kGuidTail, sizeof kGuidTail) != 0) {
            fail("unsupported WAV sample format (unknown extensible subformat)");
        }
        tag = read_le16(data + 24);
        const int valid_bits = read_le16(data + 18);
        if (valid_bits > bits) {
            fail("damaged WAV file (more valid bits than bits per sample)");
        }
        format_.channel_mask = read_le32(data + 20);
    }
    if (tag == kFormatFloat) {
        fail("floating-point WAV files are not supported (integer PCM only)");
    }
    if (tag != kFormatPcm) {
        fail("compressed WAV files are not supported (format tag " + format_tag_name(tag) +
             "; integer PCM only)");
    }
    if (channels < 1) {
        fail("damaged WAV file (no channels)");
    }
    if (channels > kMaxChannels) {
        fail(std::to_string(channels) + " channels are not supported (1 to " +
             std::to_string(kMaxChannels) + ")");
    }
    if (!is_supported_sample_rate(static_cast<int>(rate < 1000000 ? rate : 0))) {
        fail("sampling rate " + std::to_string(rate) +
             " Hz is not supported (44100 or 48000 Hz only)");
    }
    if (bits != 8 && bits != 16 && bits != 24 && bits != 32) {
        fail(std::to_string(bits) + "-bit samples are not supported (8, 16, 24 or 32 bits)");
    }
    if (block_align != channels * bits / 8) {
        fail("damaged WAV file (block alignment " + std::to_string(block_align) +
             " does not match " + std::to_string(channels) + " channels of " +
             std::to_string(bits) + " bits)");
    }
    format_.channels = channels;
    format_.sample_rate = static_cast<int>(rate);
    format_.bits_per_sample = bits;
    format_.block_align = block_align;
}

int WavReader::read(float* const* planar, int max_frames) {
    if (max_frames > kMaxReadFrames) {
        max_frames = kMaxReadFrames;
    }
    const std::uint64_t left = format_.frames - frames_read_;
    int frames =
        static_cast<int>(left < static_cast<std::uint64_t>(max_frames) ? left : max_frames);
    if (frames <= 0) {
        return 0;
    }
    const std::size_t align = static_cast<std::size_t>(format_.block_align);
    const std::size_t wanted = static_cast<std::size_t>(frames) * align;
    const std::size_t got = file_.read(buffer_.data(), wanted);
    frames = static_cast<int>(got / align);
    if (got < wanted) {
        // The file ended early (it shrank, or a read failed): stop here.
        format_.frames = frames_read_ + static_cast<std::uint64_t>(frames);
        format_.truncated = true;
    }
    const int channels = format_.channels;
    const std::uint8_t* p = buffer_.data();
    switch (format_.bits_per_sample) {
        case 8:
            for (int i = 0; i < frames; ++i) {
                for (int c = 0; c < channels; ++c, p += 1) {
                    planar[c][i] = static_cast<float>((p[0] - 128) * 256);
                }
            }
            break;
        case 16:
            for (int i = 0; i < frames; ++i) {
                for (int c = 0; c < channels; ++c, p += 2) {
                    planar[c][i] = static_cast<float>(static_cast<std::int16_t>(read_le16(p)));
                }
            }
            break;
        case 24:
            for (int i = 0; i < frames; ++i) {
                for (int c = 0; c < channels; ++c, p += 3) {
                    const std::int32_t v =
                        static_cast<std::int32_t>((static_cast<std::uint32_t>(p[0]) << 8) |
                                                  (static_cast<std::uint32_t>(p[1]) << 16) |
                                                  (static_cast<std::uint32_t>(p[2]) << 24));
                    planar[c][i] = static_cast<float>(v) * (1.0f / 65536.0f);
                }
            }
            break;
        default:
            for (int i = 0; i < frames; ++i) {
                for (int c = 0; c < channels; ++c, p += 4) {
                    planar[c][i] = static_cast<float>(static_cast<std::int32_t>(read_le32(p))) *
                                   (1.0f / 65536.0f);
                }
            }
            break;
    }
    frames_read_ += static_cast<std::uint64_t>(frames);
    return frames;
}

double WavReader::progress() const {
    if (format_.frames == 0) {
        return 1.0;
    }
    return static_cast<double>(frames_read_) / static_cast<double>(format_.frames);
}

}  // namespace brevix::aac
