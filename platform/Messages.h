#pragma once
// Messages that controls post to the window that holds them, on the UI thread. The numbers are
// the window-message numbers they always had.

namespace msg {

constexpr unsigned kWmUser = 0x400;

constexpr unsigned kSliderRelease = kWmUser + 601; // 0x659 wParam: control id, lParam: 0..100

} // namespace msg
