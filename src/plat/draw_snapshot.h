// What a rendered frame depends on, kept from the last presented frame, so that a frame showing
// the same picture need not be rendered and presented again.
#pragma once

#include <cstdint>
#include <vector>

struct ImDrawData;

namespace plat {

class DrawSnapshot {
public:
    // Takes the frame's draw data and the window's size in pixels; true when they are the same
    // as those of the frame taken before. A frame with texture work to do never counts as the
    // same, since only rendering uploads it.
    bool sameAsLast(const ImDrawData& data, int width, int height);
    // The next frame counts as changed, whatever it holds.
    void forget() { last_.clear(); }

private:
    std::vector<uint8_t> last_, next_;
};

} // namespace plat
