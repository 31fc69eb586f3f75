#pragma once

#include <QWidget>

#include <cstdint>
#include <vector>

namespace velomire::editing {

// A close-up of a loop's seam as it will be heard: the frames up to the loop's end, then those
// from its start, at a fixed two pixels per frame with a mark where they join, so that a jump
// of the wave shows as a click would sound. The height follows the loudest frame shown, so a
// quiet seam is as easy to judge as a loud one. Empty while no loop is current.
class SeamWidget : public QWidget {
    Q_OBJECT

public:
    static constexpr int halfFrames = 64; // frames on each side of the join
    static constexpr int pixelsPerFrame = 2;

    explicit SeamWidget(QWidget* parent = nullptr);

    // 2 x halfFrames frames (SeamFrames), or none.
    void SetFrames(std::vector<std::int16_t> frames);
    const std::vector<std::int16_t>& Frames() const { return frames; }

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::vector<std::int16_t> frames;
};

} // namespace velomire::editing
