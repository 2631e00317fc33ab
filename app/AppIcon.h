// The program's icon, for its windows and the notification area.
#pragma once
#include <QIcon>
#include <array>

// The sizes prepared as PNG renderings of res/icons/plumfinch.svg (res/icons/render-icons
// renders them): the window icon's 16, 32, 64 and 128, the notification areas' 16, 22 and
// 24, and 48 for window lists.
inline constexpr std::array<int, 7> kAppIconSizes = {16, 22, 24, 32, 48, 64, 128};

// The icon from those renderings. Drawn from pixmaps, it needs no SVG engine: the SVG
// module and its plugins stay unloaded, and nothing is parsed or rendered at start-up.
QIcon LoadAppIcon();
