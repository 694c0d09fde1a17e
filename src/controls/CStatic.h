#pragma once
// A static that draws itself as a solid frame-grey bar with white text; the
// main window outlines its areas with these.

#include <QLabel>

class CCStatic : public QLabel {
    Q_OBJECT
public:
    explicit CCStatic(QWidget* parent = nullptr);
};
