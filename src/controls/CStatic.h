#pragma once
// A static that draws itself as a solid frame-grey bar with white text; the
// main window outlines its areas with these.

#include <QLabel>

class CStatic : public QLabel {
    Q_OBJECT
public:
    explicit CStatic(QWidget* parent = nullptr);
};
