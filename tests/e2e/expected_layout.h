// The program's dialogs as a user and the dialog manager see them: each control's id,
// class, text, style and place (x, y, width, height in dialog units), in tab order.
#pragma once

#include "support/win.h"

namespace brevix::e2e {

inline constexpr int kNoId = -1;

struct ExpectedControl {
    int id;
    const char* class_name;
    const char* text;
    DWORD style;  // besides WS_CHILD | WS_VISIBLE, which every control has
    int x, y, width, height;
};

// Ids of the main window's controls.
enum : int {
    kInputDisplay = 1008,
    kOutputDisplay = 1009,
    kProfileMain = 1010,
    kBitrateList = 1011,
    kProfileLc = 1012,
    kProfileSsr = 1013,
    kProfileCustom = 1014,
    kEncode = 1015,
    kFormatDisplay = 1016,
    kSpareLine = 1017,
    kSelectInput = 1018,
    kSelectOutput = 1019,
    kPlay = 1020,
    kOuterFrame = 1022,
    kExtensions = 1023,
};

// Commands.
inline constexpr int kAboutCommand = 32773;
inline constexpr WPARAM kAboutSysCommand = 0xFF10;

inline constexpr int kMainWidth = 261;
inline constexpr int kMainHeight = 129;

inline constexpr ExpectedControl kMainControls[] = {
    {kNoId, "Button", "&Encoding File", BS_GROUPBOX, 8, 4, 244, 56},
    {kInputDisplay, "Static", "No file selected", SS_LEFT | WS_GROUP, 48, 16, 136, 8},
    {kNoId, "Static", "&Input:", SS_LEFT | WS_GROUP, 20, 16, 19, 8},
    {kFormatDisplay, "Static", "-", SS_LEFT | WS_GROUP, 48, 26, 136, 8},
    {kOutputDisplay, "Static", "-", SS_LEFT | WS_GROUP, 48, 36, 136, 8},
    {kNoId, "Static", "&Output:", SS_LEFT | WS_GROUP, 20, 36, 24, 8},
    {kSpareLine, "Static", "-", SS_LEFT | WS_GROUP, 48, 48, 136, 8},
    {kProfileMain, "Button", "&AAC MAIN Profile", BS_AUTORADIOBUTTON, 8, 72, 71, 10},
    {kBitrateList, "ComboBox", "", CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP, 108, 70, 140, 80},
    {kProfileLc, "Button", "AAC &LC Profile", BS_AUTORADIOBUTTON, 12, 84, 96, 10},
    {kProfileSsr, "Button", "AAC &SSR Profile", BS_AUTORADIOBUTTON, 16, 96, 72, 10},
    {kProfileCustom, "Button", "&Custom profile", BS_AUTORADIOBUTTON | WS_DISABLED, 20, 108, 84,
     10},
    {kEncode, "Button", "&Encode", BS_PUSHBUTTON | WS_TABSTOP, 196, 108, 50, 14},
    {kSelectInput, "Button", "&Select Input", BS_PUSHBUTTON | WS_TABSTOP, 192, 16, 50, 14},
    {kSelectOutput, "Button", "&Output", BS_PUSHBUTTON | WS_TABSTOP, 192, 40, 50, 14},
    {kPlay, "Button", "&Play", BS_PUSHBUTTON | WS_TABSTOP | WS_DISABLED, 140, 108, 50, 14},
    {kOuterFrame, "Button", "", BS_GROUPBOX, -30, -4, 860, 652},
    {kExtensions, "Button", "&MPEG-4 AAC Extensions (LTP && PNS)",
     BS_AUTOCHECKBOX | WS_TABSTOP | WS_DISABLED, 108, 88, 140, 10},
};

inline constexpr char kBuildLine[] = "Quanor MPEG-4 Brevix 1.0 (build 191)";
inline constexpr char kBasedOn[] =
    "Based on: ISO Reference source code, provided in the course of development of the "
    "MPEG-2 NBC/MPEG-4 Audio Standard ISO/IEC 13818-7, 14496-1, 2 and 3. ";

inline constexpr int kAboutWidth = 196;
inline constexpr int kAboutHeight = 161;

// Texts of the About box that are free in wording are marked nullptr and checked apart.
inline constexpr ExpectedControl kAboutControls[] = {
    {kNoId, "Static", nullptr, SS_ICON, 16, 12, 20, 20},
    {IDOK, "Button", "OK", BS_DEFPUSHBUTTON | WS_GROUP | WS_TABSTOP, 72, 144, 50, 14},
    {kNoId, "Button", "", BS_GROUPBOX, 7, 0, 182, 140},
    {kNoId, "Static", nullptr, SS_LEFT | WS_GROUP, 44, 12, 136, 20},
    {kNoId, "Static", nullptr, SS_LEFT | WS_GROUP, 16, 40, 168, 28},
    {kNoId, "Static", kBasedOn, SS_CENTER | SS_SUNKEN | WS_GROUP, 14, 76, 168, 52},
};

inline constexpr ExpectedControl kProgressControls[] = {
    {1024, "SysAnimate32", "Animate1", WS_BORDER | WS_TABSTOP | ACS_TRANSPARENT | ACS_AUTOPLAY, 8,
     10, 36, 36},
    {kNoId, "Static", "Now compressing PCM wave file to AAC format", SS_LEFT | WS_GROUP, 52, 8, 200,
     8},
    {1021, "msctls_progress32", "Progress1", WS_BORDER, 52, 34, 236, 10},
    {1025, "Static", "", SS_LEFT | WS_GROUP, 52, 24, 244, 8},
};

inline constexpr const char* kInitialBitrates[] = {
    "128 kbits/s per channel", "81 kbits/s per channel", "64 kbits/s per channel (recommended)",
    "56 kbits/s per channel", "48 kbits/s per channel"};

// A control without an id: templates store -1 (extended) or 0xFFFF (classic).
inline bool is_no_id(int id) {
    return id == -1 || id == 0xFFFF;
}

}  // namespace brevix::e2e
