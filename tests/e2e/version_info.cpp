// Prints the kind and the version resource of each file named on the command line, one
// value a line, each line starting with the file's own name:
//   mp4.exe: Machine=i386             (i386 or x86-64, from the PE header)
//   mp4.exe: Subsystem=console        (console or windows)
//   mp4.exe: FILEVERSION=1.0.0.1      (the fixed numbers, and PRODUCTVERSION)
//   mp4.exe: CompanyName=...          (the strings of the first translation)
// Exits with 1 when a file is no PE image or has no readable version resource.
// check_package.sh runs it on the programs of the unzipped package; it reads them as files,
// so a 64-bit build of it reads 32-bit programs too.
#include <windows.h>

#include <cstddef>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace {

bool print_kind(const std::string& path, const std::string& name) {
    std::ifstream file(path, std::ios::binary);
    IMAGE_DOS_HEADER dos{};
    IMAGE_FILE_HEADER header{};
    DWORD signature = 0;
    WORD magic = 0;
    // The subsystem sits at the same offset in the 32-bit and the 64-bit optional header.
    WORD subsystem = 0;
    if (file.read(reinterpret_cast<char*>(&dos), sizeof dos) &&
        dos.e_magic == IMAGE_DOS_SIGNATURE && file.seekg(dos.e_lfanew) &&
        file.read(reinterpret_cast<char*>(&signature), sizeof signature) &&
        signature == IMAGE_NT_SIGNATURE &&
        file.read(reinterpret_cast<char*>(&header), sizeof header) &&
        file.read(reinterpret_cast<char*>(&magic), sizeof magic) &&
        file.seekg(offsetof(IMAGE_OPTIONAL_HEADER32, Subsystem) - sizeof magic, std::ios::cur) &&
        file.read(reinterpret_cast<char*>(&subsystem), sizeof subsystem)) {
        const bool i386 = header.Machine == IMAGE_FILE_MACHINE_I386 && magic == 0x10b;
        const bool x64 = header.Machine == IMAGE_FILE_MACHINE_AMD64 && magic == 0x20b;
        std::printf("%s: Machine=%s\n", name.c_str(), i386 ? "i386" : x64 ? "x86-64" : "other");
        std::printf("%s: Subsystem=%s\n", name.c_str(),
                    subsystem == IMAGE_SUBSYSTEM_WINDOWS_GUI   ? "windows"
                    : subsystem == IMAGE_SUBSYSTEM_WINDOWS_CUI ? "console"
                                                               : "other");
        return true;
    }
    std::fprintf(stderr, "%s: not a PE image\n", path.c_str());
    return false;
}

std::string numbers(DWORD high, DWORD low) {
    return std::to_string(HIWORD(high)) + '.' + std::to_string(LOWORD(high)) + '.' +
           std::to_string(HIWORD(low)) + '.' + std::to_string(LOWORD(low));
}

bool print_version(const std::string& path) {
    const std::string name = path.substr(path.find_last_of("\\/") + 1);
    if (!print_kind(path, name)) {
        return false;
    }
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
