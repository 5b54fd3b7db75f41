#pragma once
// The pixels a one-piece cover is cut from, and the bound on them: shared by
// the cutter and its fuzz target.
#include <string>

namespace kestrova {

class Picture;

// A picture at its own pixels; a drawing (a PDF) at 300 dots an inch across
// the `wideMm` it covers. 0 x 0 for a picture without a size.
void CoverPixels(const Picture& picture, double wideMm, int* width, int* height);

// A drawing made no larger than a drawn face may be (kMaxDrawingSide a side,
// kMaxPictureMemory in all), its proportions kept: its faces are at most
// kMaxFaceTexture across, and stay that sharp. A picture past the memory a
// picture may take is refused: the message, else empty.
std::string BoundCoverPixels(const Picture& picture, const std::string& name, int* width, int* height);

}  // namespace kestrova
