// A folder of one's own below the system's temporary folder, removed with everything in it
// when the object goes away; or a given folder that is kept. Used by the benchmark and by
// the tests (native and Windows). Portable: standard library only.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <random>
#include <stdexcept>
#include <string>
#include <system_error>
#include <vector>

namespace brevix {

class TempFolder {
public:
    TempFolder() {
        namespace fs = std::filesystem;
        std::random_device entropy;
        std::mt19937_64 random(entropy() ^
                               static_cast<std::uint64_t>(
                                   std::chrono::steady_clock::now().time_since_epoch().count()));
        for (int attempt = 0; attempt < 100; ++attempt) {
            const fs::path candidate =
                fs::temp_directory_path() / ("brevix-" + std::to_string(random() % 1000000000));
            std::error_code error;
            if (fs::create_directory(candidate, error)) {
                path_ = candidate;
                remove_ = true;
                return;
            }
        }
        throw std::runtime_error("cannot create a temporary folder");
    }
    // A folder that is kept: created if missing, never removed.
    explicit TempFolder(const std::string& keep) : path_(keep) {
        std::filesystem::create_directories(path_);
    }
    ~TempFolder() {
        if (remove_) {
            std::error_code ignored;
            std::filesystem::remove_all(path_, ignored);
        }
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    std::string path() const { return path_.string(); }
    std::string file(const std::string& name) const { return (path_ / name).string(); }
    // The names of the entries in the folder.
    std::vector<std::string> names() const {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(path_)) {
            names.push_back(entry.path().filename().string());
        }
        return names;
    }

private:
    std::filesystem::path path_;
    bool remove_ = false;
};

}  // namespace brevix
