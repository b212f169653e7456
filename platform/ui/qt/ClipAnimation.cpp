#include "platform/ui/qt/ClipAnimation.h"

#include <QPainter>

namespace zandrel::ui {
namespace {
constexpr int kFrames = 16;
}

ClipAnimation::ClipAnimation(QWidget* parent) : QWidget(parent) {
    timer_.setInterval(80);
    QObject::connect(&timer_, &QTimer::timeout, this, [this] {
        frame_ = (frame_ + 1) % kFrames;
        update();
    });
}

void ClipAnimation::setClip(int clip) {
    if (clip == clip_) return;
    clip_ = clip;
    frame_ = 0;
    update();
}

void ClipAnimation::setActive(bool active) {
    if (active && clip_ != 0)
        timer_.start();
    else
        timer_.stop();
}

void ClipAnimation::paintEvent(QPaintEvent*) {
    if (clip_ == 0) return;
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const int h = height();
    const QRect globe(8, h / 2 - 18, 36, 36);
    const QRect folder(width() - 52, h / 2 - 14, 44, 30);
    p.setPen(QPen(QColor(30, 60, 140), 2));
    p.setBrush(QColor(120, 170, 230));
    p.drawEllipse(globe);
    p.drawLine(globe.left(), globe.center().y(), globe.right(), globe.center().y());
    p.drawEllipse(globe.adjusted(10, 0, -10, 0));
    p.setPen(QPen(QColor(140, 110, 20), 2));
    p.setBrush(QColor(240, 200, 80));
    p.drawRect(folder);
    const bool upload = clip_ == 258;
    const int from = upload ? folder.left() : globe.right();
    const int to = upload ? globe.right() : folder.left();
    const int x = from + (to - from) * frame_ / (kFrames - 1) - (upload ? 16 : 0);
    const int arc = (frame_ * (kFrames - 1 - frame_)) / 3;
    p.setPen(QPen(Qt::darkGray, 1));
    p.setBrush(Qt::white);
    p.drawRect(QRect(x, h / 2 - 10 - arc, 16, 20));
}

} // namespace zandrel::ui
