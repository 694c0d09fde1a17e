#pragma once
// The program's bitmaps and icons, drawn from the SVG files in resources/.

#include <QIcon>
#include <QPixmap>

namespace kestrel {

enum class Picture {
    ProgramIcon,
    DiscoveryTitle, // "Discovery List" section title
    MonitorTitle,   // "Monitor List" section title
    SettingTitle,   // "Device Setting" section title
    DownArrow,
    GreenLamp, // no new traps
    RedLamp,   // new traps arrived
    NewTrap,   // status image 0
    NotAlive,  // status image 1
};

// The picture drawn at exactly the given size in pixels.
QPixmap RenderPicture(Picture picture, QSize size);

QIcon ProgramIcon();

} // namespace kestrel
