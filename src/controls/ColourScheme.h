#pragma once
// The program's fixed colours; windows use these instead of the desktop's.

#include <QColor>

namespace kestrel::colours {

inline const QColor kPanelBlue{8, 105, 148};   // main window, trap information
inline const QColor kFrameGrey{128, 128, 128}; // frame bars of the main window
inline const QColor kLabelGrey{235, 234, 233}; // bands of the firmware upgrade dialog
inline const QColor kWhite{255, 255, 255};     // face of the other dialogs
inline const QColor kBlack{0, 0, 0};           // text on white and label grey
inline const QColor kTitleGrey{133, 133, 133}; // lower half of the section titles

} // namespace kestrel::colours
