#include "core/input_file.h"

#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace brevix::aac {
namespace {

bool seek64(std::FILE* f, std::uint64_t position, int whence) {
#ifdef _WIN32
    return _fseeki64(f, static_cast<long long>(position), whence) == 0;
#else
    return fseeko(f, static_cast<off_t>(position), whence) == 0;
#endif
}

std::int64_t tell64(std::FILE* f) {
#ifdef _WIN32
    return _ftelli64(f);
#else
    return ftello(f);
#endif
}

}  // namespace

InputFile::InputFile(const std::string& path) {
    file_ = std::fopen(path.c_str(), "rb");
    if (file_ == nullptr) {
        throw std::runtime_error("cannot open '" + path + "': " + std::strerror(errno));
    }
    if (!seek64(file_, 0, SEEK_END)) {
        std::fclose(file_);
        throw std::runtime_error("cannot read '" + path + "' (not a regular file?)");
    }
    const std::int64_t end = tell64(file_);
    size_ = end > 0 ? static_cast<std::uint64_t>(end) : 0;
    seek64(file_, 0, SEEK_SET);
}

InputFile::~InputFile() {
    if (file_ != nullptr) {
        std::fclose(file_);
    }
}

std::size_t InputFile::read(void* data, std::size_t bytes) {
    return std::fread(data, 1, bytes, file_);
}

bool InputFile::seek(std::uint64_t position) {
    return seek64(file_, position, SEEK_SET);
}

}  // namespace brevix::aac
