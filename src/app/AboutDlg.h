#pragma once
// The About box: program icon, version lines and a notice, white face.

#include <QDialog>
#include <QLabel>
#include <QPushButton>

#include <array>

class CAboutDlg : public QDialog {
    Q_OBJECT
public:
    explicit CAboutDlg(QWidget* parent = nullptr);

private:
    QLabel icon_;
    std::array<QLabel, 3> lines_;
    QPushButton ok_;
};
