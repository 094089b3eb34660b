#pragma once
// A picture drawn by its parent.
#include <windows.h>

#include "ui/Controls.h"

namespace kestrino {

// It has no window of its own: the parent paints it.
class TImage : public TObject {
public:
    TImage() = default;
    TImage(const TImage&) = delete;
    TImage& operator=(const TImage&) = delete;
    ~TImage() override;

    TBounds design;
    bool proportional = false;  // scale to fit keeping the aspect ratio
    int pictureWidth = 0;
    int pictureHeight = 0;
    // Takes the bitmap over; it is deleted with the image.
    void SetBitmap(HBITMAP bitmap, int width, int height);
    // Where the picture lands inside the bounds, in the bounds' units.
    RECT PictureRect(const RECT& bounds) const;
    void Paint(HDC dc, const RECT& bounds) const;

private:
    HBITMAP bitmap_ = nullptr;
};

}  // namespace kestrino
