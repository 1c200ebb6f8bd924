#include "platform/TopMost.h"

namespace tarn {

int SetTopMost(Platform& os, WindowId window, bool flag) {
    if (flag) return os.SetZOrder(window, ZOrder::TopMost) ? 1 : 0;
    os.SetZOrder(window, ZOrder::NotTopMost);
    return 0;
}

}  // namespace tarn
