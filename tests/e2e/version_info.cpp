// Prints the version resource of each file named on the command line, one value a line,
// each line starting with the file's own name:
//   mp4.exe: FILEVERSION=1.0.0.1      (the fixed numbers, and PRODUCTVERSION)
//   mp4.exe: CompanyName=...          (the strings of the first translation)
// Exits with 1 when a file has no readable version resource. check_package.sh runs it on
// the programs of the unzipped package.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

std::string numbers(DWORD high, DWORD low) {
    return std::to_string(HIWORD(high)) + '.' + std::to_string(LOWORD(high)) + '.' +
           std::to_string(HIWORD(low)) + '.' + std::to_string(LOWORD(low));
}

bool print_version(const std::string& path) {
    const std::string name = path.substr(path.find_last_of("\\/") + 1);
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeA(path.c_str(), &ignored);
    std::vector<char> data(size);
    void* value = nullptr;
    UINT length = 0;
    if (size == 0 || !GetFileVersionInfoA(path.c_str(), 0, size, data.data()) ||
        !VerQueryValueA(data.data(), "\\", &value, &length) || length < sizeof(VS_FIXEDFILEINFO)) {
        std::fprintf(stderr, "%s: no version resource\n", path.c_str());
        return false;
    }
    const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(value);
    std::printf("%s: FILEVERSION=%s\n", name.c_str(),
                numbers(fixed->dwFileVersionMS, fixed->dwFileVersionLS).c_str());
    std::printf("%s: PRODUCTVERSION=%s\n", name.c_str(),
                numbers(fixed->dwProductVersionMS, fixed->dwProductVersionLS).c_str());

    if (!VerQueryValueA(data.data(), "\\VarFileInfo\\Translation", &value, &length) ||
        length < 2 * sizeof(WORD)) {
        std::fprintf(stderr, "%s: no translation\n", path.c_str());
        return false;
    }
    const auto* translation = static_cast<const WORD*>(value);
    char block[32];
    std::snprintf(block, sizeof block, "\\StringFileInfo\\%04x%04x\\", translation[0],
                  translation[1]);
    for (const char* key :
         {"CompanyName", "FileDescription", "FileVersion", "InternalName", "LegalCopyright",
          "OriginalFilename", "ProductName", "ProductVersion"}) {
        if (VerQueryValueA(data.data(), (block + std::string(key)).c_str(), &value, &length) &&
            length > 0) {
            std::printf("%s: %s=%s\n", name.c_str(), key, static_cast<const char*>(value));
        }
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    int status = 0;
    for (int i = 1; i < argc; ++i) {
        if (!print_version(argv[i])) {
            status = 1;
        }
    }
    return status;
}
