// The version resource of brevix.exe as the system reports it.
#include <gtest/gtest.h>

#include "support/paths.h"
#include "support/resources.h"

namespace brevix::e2e {
namespace {

TEST(Version, StringsAndNumbers) {
    auto info = read_version_info(built_program());
    ASSERT_TRUE(info.has_value()) << "no version resource in " << built_program();

    const std::pair<const char*, const char*> strings[] = {
        {"Comments", "checked build: 191"},
        {"CompanyName", "Quanor Telecom"},
        {"FileDescription", "Front End for Quanor MPEG-4 Encoder"},
        {"FileVersion", "1.00.0191"},
        {"InternalName", "Tessarin"},
        {"OriginalFilename", "brevix.exe"},
        {"ProductName", "Quanor MPEG-4 Brevix beta"},
        {"ProductVersion", "1, 0, 0, 1"},
    };
    for (const auto& [name, value] : strings)
        EXPECT_EQ(info->string(name).value_or("<missing>"), value) << name;
    EXPECT_FALSE(info->string("LegalCopyright").value_or("").empty()) << "no rights notice";

    const VS_FIXEDFILEINFO& fixed = info->fixed;
    EXPECT_EQ(fixed.dwSignature, 0xFEEF04BDu);
    EXPECT_EQ(fixed.dwFileVersionMS, MAKELONG(0, 1)) << "file version 1.0";
    EXPECT_EQ(fixed.dwFileVersionLS, MAKELONG(1, 0)) << "file version .0.1";
    EXPECT_EQ(fixed.dwProductVersionMS, MAKELONG(0, 1)) << "product version 1.0";
    EXPECT_EQ(fixed.dwProductVersionLS, MAKELONG(1, 0)) << "product version .0.1";
    EXPECT_EQ(fixed.dwFileType, static_cast<DWORD>(VFT_APP));
}

}  // namespace
}  // namespace brevix::e2e
