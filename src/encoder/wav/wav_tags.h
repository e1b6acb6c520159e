// The tags of a WAV file: the items of a LIST chunk of type INFO (INAM title, IART artist,
// IPRD album, ICRD date, IGNR genre, ICMT comment, ITRK or IPRT track), each a short text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "container/tags.h"

namespace brevix::aac {

// The largest LIST/INFO chunk read (real ones hold a few hundred bytes); a larger one is
// left out.
constexpr std::uint32_t kMaxInfoListBytes = 1u << 20;

// Reads the items of a LIST/INFO chunk's body after its type (`size` bytes at `data`) into
// `tags`; an item already set keeps its value. Returns false when the list is damaged (an
// item runs past its end or has no name): the items before the damage are kept.
bool read_info_list(const std::uint8_t* data, std::size_t size, Tags& tags);

// An item's text as UTF-8: up to its first zero byte, without surrounding spaces; kept
// as it is when it is UTF-8 already, otherwise read as Windows code page 1252, what
// Windows programs in the West write.
std::string tag_text(const std::uint8_t* data, std::size_t size);

}  // namespace brevix::aac
