#pragma once

#include <QIcon>
#include <QPixmap>

// The station's own picture for its window and its tray icon: a thermometer
// with a drop of dew on a blue tile, drawn here in every size the window
// system asks for.
namespace StationIcon {

QPixmap pixmap(int size);
// The sizes 16, 22, 24, 32, 48 and 64 pixels.
QIcon icon();

} // namespace StationIcon
