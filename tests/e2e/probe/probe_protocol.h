// The request/answer block shared between the test driver and the probe DLL inside the
// program's process. The driver creates a named file mapping per target process, writes a
// request into it and posts the registered request message to the window the request is
// about; the probe's message hook, running on the program's UI thread, answers into the
// same block. Answers are lines of tab-separated fields.
#pragma once

#include <cstdint>

namespace brevix::probe {

// Registered window message that carries a request (wParam: request sequence number).
inline constexpr char kRequestMessage[] = "BrevixProbeRequest";

// Name of the mapping for one target process: prefix followed by the process id.
inline constexpr char kMappingPrefix[] = "BrevixProbeBlock_";

// The hook procedure's exported name (undecorated: the DLL is linked with --kill-at).
inline constexpr char kHookProcName[] = "brevix_probe_hook";

enum class Request : std::int32_t {
    kPing = 1,        // "pong": the UI thread has got as far as this message
    kMenu = 2,        // the window's menu bar, recursively
    kSystemMenu = 3,  // the window's system menu, recursively
    kBaseUnits = 4,   // MapDialogRect of (0, 0, 4, 8)
    kIcons = 5,       // WM_GETICON big/small and WM_QUERYDRAGICON, with image sizes
    kFocus = 6,       // the window that has the keyboard focus
    kRedraw = 7,      // repaint the window and its children now
    kTextRoom = 8,    // for each text control: the room its text needs and the room it has
    kShownIcon = 9,   // which system icon the window's visible icon static shows
};

inline constexpr std::uint32_t kAnswerCapacity = 60 * 1024;

struct Block {
    volatile std::int32_t request_sequence;  // written by the driver before posting
    volatile std::int32_t answer_sequence;   // written by the probe once the answer is complete
    std::int32_t request;                    // a Request value
    std::uint32_t answer_length;             // bytes of answer, at most kAnswerCapacity - 1
    std::int32_t truncated;                  // 1 when the answer did not fit
    char answer[kAnswerCapacity];            // zero-terminated text
};

}  // namespace brevix::probe
