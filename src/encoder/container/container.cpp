#include "container/container.h"

#include <stdexcept>

#include "core/channel_config.h"

namespace brevix::aac {

void ByteSink::write_at(std::uint64_t, const void*, std::size_t) {
    throw std::runtime_error("this output cannot be rewritten (a file is needed, not a pipe)");
}

int channel_configuration(int channels) {
    return element_layout(channels).configuration;
}

}  // namespace brevix::aac
