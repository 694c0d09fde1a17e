#pragma once
// Entry for an IPv4 address: four octet boxes (0-255) separated by dots.
// Empty boxes count as 0; the value has the first octet most significant.

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpressionValidator>

#include <array>
#include <cstdint>

namespace kestrel {

class IpAddressEdit : public QFrame {
    Q_OBJECT
public:
    explicit IpAddressEdit(QWidget* parent = nullptr);

    uint32_t value() const;
    void setValue(uint32_t address);
    // True when every box is empty.
    bool isBlank() const;
    void clear();

    // The label read by assistive technology for the whole entry; each box
    // is announced as the label with its octet number.
    void setAccessibleLabel(const QString& label);

    static constexpr int kOctets = 4;
    QLineEdit& octetBox(int index) { return boxes_.at(index); }

Q_SIGNALS:
    void valueEdited();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    int IndexOf(const QObject* box) const;
    void FocusBox(int index, bool at_end);
    void OnTextEdited(int index, const QString& text);

    QHBoxLayout layout_;
    QRegularExpressionValidator octet_validator_;
    std::array<QLineEdit, kOctets> boxes_;
    std::array<QLabel, kOctets - 1> dots_;
};

} // namespace kestrel
