#include "controls/StatusImages.h"

#include "controls/Pictures.h"

namespace kestrel {

namespace {

bool InRange(int index) {
    return index >= 0 && index < StatusImageList::Count();
}

} // namespace

StatusImageList::StatusImageList()
    : icons_{QIcon(RenderPicture(Picture::NewTrap, QSize(16, 16))),
             QIcon(RenderPicture(Picture::NotAlive, QSize(16, 16)))} {}

QIcon StatusImageList::Icon(int index) const {
    return InRange(index) ? icons_[static_cast<std::size_t>(index)] : QIcon();
}

QString StatusImageList::AccessibleName(int index) const {
    switch (index) {
    case kStatusNewTrap:
        return QStringLiteral("New trap");
    case kStatusNotAlive:
        return QStringLiteral("Not alive");
    default:
        return {};
    }
}

} // namespace kestrel
