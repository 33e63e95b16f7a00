// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/WindowSettings.h"

namespace {

constexpr std::array<Qt::PenStyle, 5> PenStyles{Qt::SolidLine, Qt::DashLine, Qt::DotLine, Qt::DashDotLine,
                                                Qt::DashDotDotLine};

} // namespace

int PenStyleCode(Qt::PenStyle style)
{
    for (std::size_t code = 0; code < PenStyles.size(); ++code)
        if (PenStyles[code] == style)
            return static_cast<int>(code);
    return -1;
}

Qt::PenStyle PenStyleFromCode(int code)
{
    return code >= 1 && code < static_cast<int>(PenStyles.size()) ? PenStyles[static_cast<std::size_t>(code)]
                                                                  : Qt::SolidLine;
}

int WindowStateCode(Qt::WindowStates states)
{
    if (states & Qt::WindowMinimized)
        return 0;
    if (states & (Qt::WindowMaximized | Qt::WindowFullScreen))
        return 2;
    return 1;
}

std::optional<Qt::WindowState> WindowStateFromCode(int code)
{
    switch (code) {
    case 0:
        return Qt::WindowMinimized;
    case 1:
        return Qt::WindowNoState;
    case 2:
        return Qt::WindowMaximized;
    default:
        return std::nullopt;
    }
}
