#pragma once

class QWidget;

namespace orvane {

// The window's fonts carry Windows family names; this maps each to a
// family of the same kind (fixed pitch, serif, sans) that a Debian
// desktop has, chosen so that the texts the window puts into its controls
// fit them at the sizes Unit1.ui gives them. Safe to call more than once.
void InstallFontSubstitutes();

// Unit1.ui is laid out at 96 pixels per inch and sizes its controls in
// pixels: every font set on root or its children is turned from points
// into the pixel height it has at 96 dpi, so that text keeps its size
// against its control at any font resolution or scaling.
void PinDesignFontSizes(QWidget &root);

// A font size in points as Unit1.ui means it: pixels at 96 dpi.
int DesignPixelSize(double pointSize);

} // namespace orvane
