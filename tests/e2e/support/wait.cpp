#include "support/wait.h"

namespace brevix::e2e {

bool wait_until(const std::function<bool()>& condition, DWORD timeout_ms) {
    const ULONGLONG deadline = GetTickCount64() + timeout_ms;
    DWORD pause = 1;
    for (;;) {
        if (condition())
            return true;
        if (GetTickCount64() >= deadline)
            return condition();
        Sleep(pause);  // a polling interval, growing to 20 ms
        if (pause < 20)
            pause *= 2;
    }
}

}  // namespace brevix::e2e
