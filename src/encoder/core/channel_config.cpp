#include "core/channel_config.h"

#include <stdexcept>
#include <string>

namespace brevix::aac {

ElementLayout element_layout(int channels) {
    static constexpr ElementId kSce = ElementId::kSce;
    static constexpr ElementId kCpe = ElementId::kCpe;
    static constexpr ElementId kLfe = ElementId::kLfe;
    // Element types per configuration, in stream order (kEnd closes a shorter list).
    static constexpr ElementId kTypes[kMaxChannels][kMaxElements] = {
        {kSce, ElementId::kEnd},
        {kCpe, ElementId::kEnd},
        {kSce, kCpe, ElementId::kEnd},
        {kSce, kCpe, kSce, ElementId::kEnd},
        {kSce, kCpe, kCpe, ElementId::kEnd},
        {kSce, kCpe, kCpe, kLfe},
    };
    if (channels < 1 || channels > kMaxChannels) {
        throw std::invalid_argument(std::to_string(channels) +
                                    " channels are not supported (1 to 6)");
    }
    ElementLayout layout;
    layout.configuration = channels;
    int tags[8] = {};  // next instance tag per element type
    int channel = 0;
    for (const ElementId id : kTypes[channels - 1]) {
        if (id == ElementId::kEnd) {
            break;
        }
        ChannelElement& e = layout.elements[layout.count++];
        e.id = id;
        e.tag = tags[static_cast<int>(id)]++;
        e.first = channel;
        channel += e.channels();
    }
    return layout;
}

}  // namespace brevix::aac
