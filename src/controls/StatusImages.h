#pragma once
// The status image list shared by the monitor list and the trap list:
// image 0 marks a new trap, image 1 an agent that is not alive.

#include <QIcon>
#include <QString>

#include <array>

namespace kestrel {

inline constexpr int kStatusNewTrap = 0;
inline constexpr int kStatusNotAlive = 1;

class StatusImageList {
public:
    StatusImageList();

    // The image at index, or a null icon for -1 and any other index that
    // names no image (records carry -1 for "no image").
    QIcon Icon(int index) const;
    // Text alternative for assistive technology; empty when there is no image.
    QString AccessibleName(int index) const;
    static constexpr int Count() { return 2; }

private:
    std::array<QIcon, 2> icons_;
};

} // namespace kestrel
