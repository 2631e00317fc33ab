// The program's icon, for its windows and the notification area.
#pragma once
#include <QIcon>
#include <array>

// The sizes prepared as PNG renderings of res/icons/plumfinch.svg (scripts/render-icons
// renders them with the SVG icon engine): those the window icon (16, 32, 64, 128), the
// notification areas (16, 22, 24, 64) and window lists (32, 48) ask for.
inline constexpr std::array<int, 7> kAppIconSizes = {16, 22, 24, 32, 48, 64, 128};

// The icon. It acts as the SVG icon did (it names no sizes of its own, so each user asks
// for the sizes it would ask a scalable icon for) and answers a prepared size with its
// PNG, so the SVG module and its plugins are not loaded and nothing is parsed or rendered
// at start-up. Any other size or state is drawn from the SVG, as before.
QIcon LoadAppIcon();
