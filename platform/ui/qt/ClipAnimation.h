#pragma once
// The transfer window's two clips, drawn rather than decoded: 257 shows a sheet travelling from
// the network to a folder (download), 258 from the folder to the network (upload).
#include <QTimer>
#include <QWidget>

namespace zandrel::ui {

class ClipAnimation : public QWidget {
public:
    explicit ClipAnimation(QWidget* parent);
    void setClip(int clip);
    void setActive(bool active);
    int frame() const { return frame_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QTimer timer_;
    int clip_ = 0;
    int frame_ = 0;
};

} // namespace zandrel::ui
