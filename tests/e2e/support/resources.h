// Reading the program's resources from its executable file, as the system loads them:
// dialog templates, the icon group and its images, the dialog initialisation data and the
// version resource. Every reader checks each length against the data it was given.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "support/win.h"

namespace brevix::e2e {

// The executable loaded as a data file (no code runs), unloaded on destruction.
class ResourceFile {
public:
    explicit ResourceFile(const std::string& path);
    ~ResourceFile();
    ResourceFile(const ResourceFile&) = delete;
    ResourceFile& operator=(const ResourceFile&) = delete;

    bool loaded() const { return module_ != nullptr; }
    // The bytes of a resource (empty when there is none).
    std::vector<std::uint8_t> bytes(int id, const char* type) const;

private:
    HMODULE module_ = nullptr;
};

struct TemplateItem {
    std::int32_t id = 0;
    std::string class_name;  // "Button", "Static", ... for the predefined classes
    std::string text;        // empty, or "#<ordinal>" for a resource ordinal (an icon)
    DWORD style = 0;
    DWORD ex_style = 0;
    int x = 0, y = 0, width = 0, height = 0;
};

struct DialogTemplate {
    bool extended = false;  // DLGTEMPLATEEX
    DWORD style = 0;
    DWORD ex_style = 0;
    int x = 0, y = 0, width = 0, height = 0;
    std::string menu;  // "" (none), "#<ordinal>" or a name
    std::string window_class;
    std::string caption;
    int point_size = 0;
    int weight = 0;
    bool italic = false;
    int charset = 0;
    std::string font;
    std::vector<TemplateItem> items;
};

// Parses a dialog template (DLGTEMPLATEEX, or the older DLGTEMPLATE); nullopt when the
// data is cut short or malformed.
std::optional<DialogTemplate> parse_dialog_template(const std::vector<std::uint8_t>& data);

struct IconGroupEntry {
    int width = 0;  // 0 in the file means 256
    int height = 0;
    int color_count = 0;  // 0 means 256 or more
    int planes = 0;
    int bit_count = 0;
    std::uint32_t bytes = 0;
    int id = 0;  // the RT_ICON resource holding the image
};
std::optional<std::vector<IconGroupEntry>> parse_icon_group(const std::vector<std::uint8_t>& data);

// An RT_ICON image's header: width, height of the colour image, bits per pixel.
struct IconImage {
    int width = 0;
    int height = 0;
    int bit_count = 0;
};
std::optional<IconImage> parse_icon_image(const std::vector<std::uint8_t>& data);

// Dialog initialisation data (resource type 240): control id, 16-bit message, text.
struct DialogInitEntry {
    int control_id = 0;
    int message = 0;
    std::string data;  // without the terminating zero
};
std::optional<std::vector<DialogInitEntry>> parse_dialog_init(
    const std::vector<std::uint8_t>& data);

// The version resource of a file: the fixed part and the string entries of its first
// translation.
struct VersionInfo {
    VS_FIXEDFILEINFO fixed{};
    std::string translation;  // e.g. "040904b0"
    // Not const: the system may convert the text in place inside the block.
    std::optional<std::string> string(const std::string& name);

    std::vector<std::uint8_t> block;
};
std::optional<VersionInfo> read_version_info(const std::string& path);

}  // namespace brevix::e2e
