#pragma once

class QPaintDevice;

namespace rtf {
// The device every document of the control is laid out against, so that metrics never depend
// on the screen a text happens to be shown on.
QPaintDevice* LayoutDevice();
}  // namespace rtf
