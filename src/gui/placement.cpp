// The main window's placement in section "form".
#include "gui/placement.h"

#include "settings/configfile.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <string>

namespace ormix {

namespace {

constexpr std::string_view kSection = "form";

std::string joinNumbers(const PlacementRect& r) {
    char text[64];
    std::snprintf(text, sizeof text, "%d,%d,%d,%d", r[0], r[1], r[2], r[3]);
    return text;
}

std::optional<int> parseNumber(std::string_view word) {
    int value = 0;
    const char* end = word.data() + word.size();
    auto [ptr, ec] = std::from_chars(word.data(), end, value);
    if (ec != std::errc() || ptr != end)
        return std::nullopt;
    return value;
}

} // namespace

PlacementRect SplitPlacementNumbers(std::string_view text, const PlacementRect& defaults) {
    PlacementRect result = defaults;
    std::size_t index = 0;
    std::size_t pos = 0;
    while (index < result.size()) {
        pos = text.find_first_not_of(", ", pos);
        if (pos == std::string_view::npos)
            break;
        const std::size_t end = std::min(text.find_first_of(", ", pos), text.size());
        if (auto number = parseNumber(text.substr(pos, end - pos)))
            result[index] = *number;
        ++index;
        pos = end;
    }
    return result;
}

void WriteFormPlacement(ConfigFile& file, const FormPlacement& p) {
    ConfigEdit edit;
    edit.WriteNumber(kSection, "FormVersion", 0);
    edit.WriteNumber(kSection, "Flags", p.Flags);
    edit.WriteNumber(kSection, "ShowCmd", p.ShowCmd);
    edit.WriteNumber(kSection, "PixelsPerInch", p.PixelsPerInch);
    edit.WriteText(kSection, "MinMaxPos", joinNumbers(p.MinMaxPos));
    edit.WriteText(kSection, "NormPos", joinNumbers(p.NormPos));
    edit.WriteFlag(kSection, "Visible", p.Visible);
    // One rewrite of cfg.ini: the seven keys land together or not at all.
    file.Apply(edit);
}

std::optional<PlacementRect> ReadFormPlacement(const ConfigFile& file, int pixelsPerInch,
                                               const PlacementRect& current) {
    if (file.ReadNumber(kSection, "FormVersion", 0) < 0)
        return std::nullopt;
    // Flags and the minimised and maximised positions have no counterpart in the
    // toolkit's geometry; MinMaxPos only counts as "a placement is stored".
    const std::string minMax = file.ReadText(kSection, "MinMaxPos", "");
    const std::string normal = file.ReadText(kSection, "NormPos", "");
    if (minMax.empty() && normal.empty())
        return std::nullopt;
    if (file.ReadNumber(kSection, "PixelsPerInch", pixelsPerInch) != pixelsPerInch)
        return std::nullopt;
    const PlacementRect rect = SplitPlacementNumbers(normal, current);
    if (rect[0] >= rect[2])
        return std::nullopt;
    return rect;
}

} // namespace ormix
