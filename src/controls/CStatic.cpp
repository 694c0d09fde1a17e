#include "CStatic.h"

#include "ColourScheme.h"

CStatic::CStatic(QWidget* parent) : QLabel(parent) {
    QPalette bar = palette();
    bar.setColor(QPalette::Window, kestrel::colours::kFrameGrey);
    bar.setColor(QPalette::WindowText, kestrel::colours::kWhite);
    setPalette(bar);
    setAutoFillBackground(true);
}
