// The main window's position and size in section "form" of cfg.ini: written at
// every close of the main window, read back when it is first shown.
// Tests: tests/shell/placement_test.cpp.
#pragma once

#include <array>
#include <optional>
#include <string_view>

namespace ormix {

class ConfigFile;

// Left, top, right and bottom, right and bottom exclusive (left + width, top + height).
using PlacementRect = std::array<int, 4>;

// What is written to section "form".
struct FormPlacement {
    int Flags = 0;
    int ShowCmd = 1; // 1 normal, 2 minimised (also: hidden into the notification area), 3 maximised
    int PixelsPerInch = 96;
    PlacementRect MinMaxPos{-1, -1, -1, -1}; // minimised x, y, then maximised x, y
    PlacementRect NormPos{};                 // the window in its normal state
    bool Visible = false;                    // true only when written as the window is destroyed
};

// Writes the keys FormVersion, Flags, ShowCmd, PixelsPerInch, MinMaxPos,
// NormPos and Visible, in that order, in one rewrite of the file (none when
// they all hold these values already). Throws ConfigWriteError.
void WriteFormPlacement(ConfigFile& file, const FormPlacement& placement);

// The stored normal rectangle when it is to be applied: FormVersion not below 0,
// MinMaxPos or NormPos present, PixelsPerInch equal to `pixelsPerInch` and left
// less than right. Missing or bad numbers of NormPos come from `current`.
std::optional<PlacementRect> ReadFormPlacement(const ConfigFile& file, int pixelsPerInch,
                                               const PlacementRect& current);

// Splits "a,b,c,d" (commas or blanks between the numbers) into four numbers;
// a missing or bad number takes the one of `defaults` at its place.
PlacementRect SplitPlacementNumbers(std::string_view text, const PlacementRect& defaults);

} // namespace ormix
