#pragma once
// Answers the next modal window from inside its own event loop: once a
// modal widget shows, the handler gets it (and must close it). A window
// still open after a few seconds is rejected so that a test cannot hang.

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>

#include <functional>

class ModalAnswer {
public:
    explicit ModalAnswer(std::function<void(QWidget*)> handler) : handler_(std::move(handler)) {
        clock_.start();
        timer_.setInterval(10);
        QObject::connect(&timer_, &QTimer::timeout, [this] { Poll(); });
        timer_.start();
    }
    bool answered() const { return answered_; }

private:
    void Poll() {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal == nullptr) {
            if (clock_.elapsed() > 5000)
                timer_.stop();
            return;
        }
        if (!answered_) {
            answered_ = true;
            handler_(modal);
            return;
        }
        if (clock_.elapsed() > 5000) {
            timer_.stop();
            if (auto* dialog = qobject_cast<QDialog*>(modal))
                dialog->reject();
            else
                modal->close();
        }
    }

    std::function<void(QWidget*)> handler_;
    QTimer timer_;
    QElapsedTimer clock_;
    bool answered_ = false;
};
