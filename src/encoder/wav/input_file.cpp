#include "wav/input_file.h"

#include <cerrno>
#include <cstring>
#include <stdexcept>

#include "common/file_position.h"

#ifdef _WIN32
#include "win32/files.h"
#include "win32/utf8_paths.h"
#else
#include <sys/stat.h>
#endif

namespace brevix::aac {

InputFile::InputFile(const std::string& path) {
    const auto folder = [] { return std::runtime_error("it is a folder, not a WAV file"); };
#ifdef _WIN32
    const std::vector<wchar_t> name = win32::system_path(path);
    const DWORD attributes = GetFileAttributesW(name.data());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        throw folder();
    }
    file_ = _wfopen(name.data(), L"rb");
#else
    file_ = std::fopen(path.c_str(), "rb");
#endif
    if (file_ == nullptr) {
        throw std::runtime_error("cannot open '" + path + "': " + std::strerror(errno));
    }
#ifndef _WIN32
    struct stat st {};
    if (::fstat(::fileno(file_), &st) == 0 && S_ISDIR(st.st_mode)) {
        std::fclose(file_);
        throw folder();
    }
#endif
    if (!seek_file(file_, 0, SEEK_END)) {
        std::fclose(file_);
        throw std::runtime_error("cannot read '" + path + "' (not a regular file?)");
    }
    const std::int64_t end = tell_file(file_);
    size_ = end > 0 ? static_cast<std::uint64_t>(end) : 0;
    seek_file(file_, 0);
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
    return seek_file(file_, position);
}

}  // namespace brevix::aac
