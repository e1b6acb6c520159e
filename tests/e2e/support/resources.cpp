#include "support/resources.h"

#include "support/window.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace brevix::e2e {

namespace {

// Reads little-endian values from a byte range; any read past the end marks the reader
// failed and yields zeros.
class Reader {
public:
    Reader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    bool ok() const { return ok_; }
    std::size_t at() const { return at_; }

    std::uint8_t u8() {
        if (!need(1))
            return 0;
        return data_[at_++];
    }
    std::uint16_t u16() {
        if (!need(2))
            return 0;
        const std::uint16_t value = static_cast<std::uint16_t>(data_[at_] | data_[at_ + 1] << 8);
        at_ += 2;
        return value;
    }
    std::uint32_t u32() {
        const std::uint32_t low = u16();
        return low | static_cast<std::uint32_t>(u16()) << 16;
    }
    std::int16_t s16() { return static_cast<std::int16_t>(u16()); }
    void skip(std::size_t n) {
        if (need(n))
            at_ += n;
    }
    void align(std::size_t boundary) {
        const std::size_t rest = at_ % boundary;
        if (rest != 0)
            skip(boundary - rest);
    }

    // A zero-terminated UTF-16 string, converted to the ANSI code page.
    std::string wide_string() {
        std::wstring wide;
        for (;;) {
            const std::uint16_t c = u16();
            if (!ok_ || c == 0)
                break;
            wide += static_cast<wchar_t>(c);
        }
        return narrow(wide);
    }
    // A name or ordinal field: 0 (none), 0xFFFF + ordinal, or a string.
    std::string name_or_ordinal() {
        if (!need(2))
            return {};
        const std::uint16_t first = static_cast<std::uint16_t>(data_[at_] | data_[at_ + 1] << 8);
        if (first == 0) {
            at_ += 2;
            return {};
        }
        if (first == 0xFFFF) {
            at_ += 2;
            return "#" + std::to_string(u16());
        }
        return wide_string();
    }

private:
    bool need(std::size_t n) {
        if (!ok_ || n > size_ - at_) {
            ok_ = false;
            return false;
        }
        return true;
    }

    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t at_ = 0;
    bool ok_ = true;
};

// The predefined control classes a template names by ordinal.
std::string class_of(const std::string& name) {
    static const char* const names[] = {"Button",  "Edit",      "Static",
                                        "ListBox", "ScrollBar", "ComboBox"};
    if (name.size() > 1 && name[0] == '#') {
        const int ordinal = std::atoi(name.c_str() + 1);
        if (ordinal >= 0x80 && ordinal <= 0x85)
            return names[ordinal - 0x80];
    }
    return name;
}

}  // namespace

ResourceFile::ResourceFile(const std::string& path)
    : module_(LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE)) {}

ResourceFile::~ResourceFile() {
    if (module_ != nullptr)
        FreeLibrary(module_);
}

std::vector<std::uint8_t> ResourceFile::bytes(int id, const char* type) const {
    if (module_ == nullptr)
        return {};
    HRSRC info = FindResourceA(module_, MAKEINTRESOURCEA(id), type);
    if (info == nullptr)
        return {};
    HGLOBAL handle = LoadResource(module_, info);
    const void* data = handle != nullptr ? LockResource(handle) : nullptr;
    const DWORD size = SizeofResource(module_, info);
    if (data == nullptr)
        return {};
    const auto* begin = static_cast<const std::uint8_t*>(data);
    return std::vector<std::uint8_t>(begin, begin + size);
}

std::optional<DialogTemplate> parse_dialog_template(const std::vector<std::uint8_t>& data) {
    Reader in(data.data(), data.size());
    DialogTemplate t;
    std::uint16_t count = 0;
    if (data.size() >= 4 && data[0] == 1 && data[1] == 0 && data[2] == 0xFF && data[3] == 0xFF) {
        t.extended = true;
        in.skip(4);
        in.u32();  // help id
        t.ex_style = in.u32();
        t.style = in.u32();
    } else {
        t.style = in.u32();
        t.ex_style = in.u32();
    }
    count = in.u16();
    t.x = in.s16();
    t.y = in.s16();
    t.width = in.s16();
    t.height = in.s16();
    t.menu = in.name_or_ordinal();
    t.window_class = in.name_or_ordinal();
    t.caption = in.wide_string();
    if (t.style & (DS_SETFONT | DS_SHELLFONT)) {
        t.point_size = in.u16();
        if (t.extended) {
            t.weight = in.u16();
            t.italic = in.u8() != 0;
            t.charset = in.u8();
        }
        t.font = in.wide_string();
    }
    for (std::uint16_t i = 0; i < count && in.ok(); ++i) {
        in.align(4);
        TemplateItem item;
        if (t.extended) {
            in.u32();  // help id
            item.ex_style = in.u32();
            item.style = in.u32();
        } else {
            item.style = in.u32();
            item.ex_style = in.u32();
        }
        item.x = in.s16();
        item.y = in.s16();
        item.width = in.s16();
        item.height = in.s16();
        item.id = t.extended ? static_cast<std::int32_t>(in.u32()) : in.s16();
        item.class_name = class_of(in.name_or_ordinal());
        item.text = in.name_or_ordinal();
        in.skip(in.u16());  // creation data
        t.items.push_back(item);
    }
    if (!in.ok())
        return std::nullopt;
    return t;
}

std::optional<std::vector<IconGroupEntry>> parse_icon_group(const std::vector<std::uint8_t>& data) {
    Reader in(data.data(), data.size());
    in.u16();  // reserved
    const std::uint16_t type = in.u16();
    const std::uint16_t count = in.u16();
    if (!in.ok() || type != 1)
        return std::nullopt;
    std::vector<IconGroupEntry> entries;
    for (std::uint16_t i = 0; i < count; ++i) {
        IconGroupEntry e;
        e.width = in.u8();
        e.height = in.u8();
        e.color_count = in.u8();
        in.u8();  // reserved
        e.planes = in.u16();
        e.bit_count = in.u16();
        e.bytes = in.u32();
        e.id = in.u16();
        if (e.width == 0)
            e.width = 256;
        if (e.height == 0)
            e.height = 256;
        entries.push_back(e);
    }
    if (!in.ok())
        return std::nullopt;
    return entries;
}

std::optional<IconImage> parse_icon_image(const std::vector<std::uint8_t>& data) {
    Reader in(data.data(), data.size());
    const std::uint32_t header_size = in.u32();
    IconImage image;
    image.width = static_cast<int>(in.u32());
    image.height =
        static_cast<int>(in.u32()) / 2;  // the height covers the colour image and the mask
    in.u16();                            // planes
    image.bit_count = in.u16();
    if (!in.ok() || header_size < 40)
        return std::nullopt;
    return image;
}

std::optional<std::vector<DialogInitEntry>> parse_dialog_init(
    const std::vector<std::uint8_t>& data) {
    Reader in(data.data(), data.size());
    std::vector<DialogInitEntry> entries;
    for (;;) {
        const std::uint16_t id = in.u16();
        if (!in.ok())
            return std::nullopt;  // the list must end with a zero id
        if (id == 0)
            break;
        DialogInitEntry e;
        e.control_id = id;
        e.message = in.u16();
        const std::uint32_t length = in.u32();
        if (!in.ok() || length > data.size() - in.at())
            return std::nullopt;
        const char* text = reinterpret_cast<const char*>(data.data() + in.at());
        e.data.assign(text, strnlen(text, length));
        in.skip(length);
        entries.push_back(e);
    }
    return entries;
}

std::optional<std::string> VersionInfo::string(const std::string& name) {
    const std::string path = "\\StringFileInfo\\" + translation + "\\" + name;
    void* value = nullptr;
    UINT length = 0;
    if (!VerQueryValueA(block.data(), path.c_str(), &value, &length) || value == nullptr)
        return std::nullopt;
    const char* text = static_cast<const char*>(value);
    return std::string(text, strnlen(text, length));
}

std::optional<VersionInfo> read_version_info(const std::string& path) {
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeA(path.c_str(), &ignored);
    if (size == 0)
        return std::nullopt;
    VersionInfo info;
    info.block.resize(size);
    if (!GetFileVersionInfoA(path.c_str(), 0, size, info.block.data()))
        return std::nullopt;

    void* value = nullptr;
    UINT length = 0;
    if (!VerQueryValueA(info.block.data(), "\\", &value, &length) || value == nullptr ||
        length < sizeof(VS_FIXEDFILEINFO))
        return std::nullopt;
    std::memcpy(&info.fixed, value, sizeof info.fixed);

    if (!VerQueryValueA(info.block.data(), "\\VarFileInfo\\Translation", &value, &length) ||
        value == nullptr || length < 4)
        return std::nullopt;
    WORD language_and_code_page[2];
    std::memcpy(language_and_code_page, value, sizeof language_and_code_page);
    char translation[16];
    std::snprintf(translation, sizeof translation, "%04x%04x", language_and_code_page[0],
                  language_and_code_page[1]);
    info.translation = translation;
    return info;
}

}  // namespace brevix::e2e
