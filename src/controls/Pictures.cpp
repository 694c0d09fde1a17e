#include "controls/Pictures.h"

#include <QPainter>
#include <QSvgRenderer>

// The resources live in a static library; make sure they are linked in and
// registered before the first picture is drawn.
static void EnsureResources() {
    static const bool registered = [] {
        Q_INIT_RESOURCE(kestrel);
        return true;
    }();
    (void)registered;
}

namespace kestrel {

namespace {

QString ResourcePath(Picture picture) {
    switch (picture) {
    case Picture::ProgramIcon:
        return QStringLiteral(":/kestrel/kestrel.svg");
    case Picture::DiscoveryTitle:
        return QStringLiteral(":/kestrel/section_discovery.svg");
    case Picture::MonitorTitle:
        return QStringLiteral(":/kestrel/section_monitor.svg");
    case Picture::SettingTitle:
        return QStringLiteral(":/kestrel/section_setting.svg");
    case Picture::DownArrow:
        return QStringLiteral(":/kestrel/down_arrow.svg");
    case Picture::GreenLamp:
        return QStringLiteral(":/kestrel/lamp_green.svg");
    case Picture::RedLamp:
        return QStringLiteral(":/kestrel/lamp_red.svg");
    case Picture::NewTrap:
        return QStringLiteral(":/kestrel/status_new_trap.svg");
    case Picture::NotAlive:
        return QStringLiteral(":/kestrel/status_not_alive.svg");
    }
    return {};
}

} // namespace

QPixmap RenderPicture(Picture picture, QSize size) {
    EnsureResources();
    QPixmap pixmap(size);
    pixmap.fill(Qt::transparent);
    QSvgRenderer renderer(ResourcePath(picture));
    if (renderer.isValid()) {
        QPainter painter(&pixmap);
        renderer.render(&painter, QRectF(QPointF(0, 0), QSizeF(size)));
    }
    return pixmap;
}

QIcon ProgramIcon() {
    QIcon icon;
    for (const int side : {16, 24, 32, 48, 64})
        icon.addPixmap(RenderPicture(Picture::ProgramIcon, QSize(side, side)));
    return icon;
}

} // namespace kestrel
