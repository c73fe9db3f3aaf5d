#pragma once

namespace orvane {

// Extra room the window, its height and the page control get on screens of
// 120 logical pixels per inch or more, where the toolkit scales the fonts
// up but the pixel sizes Unit1.ui lays the controls out in stay as they are.
int SizeAllowance(int logicalDpiX);

} // namespace orvane
