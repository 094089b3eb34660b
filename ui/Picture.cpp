#include "ui/Picture.h"

namespace kestrino {

TImage::~TImage() {
    if (bitmap_) DeleteObject(bitmap_);
}

void TImage::SetBitmap(HBITMAP bitmap, int width, int height) {
    if (bitmap_) DeleteObject(bitmap_);
    bitmap_ = bitmap;
    pictureWidth = width;
    pictureHeight = height;
}

RECT TImage::PictureRect(const RECT& bounds) const {
    RECT r = bounds;
    if (!proportional || pictureWidth <= 0 || pictureHeight <= 0) return r;
    const int w = bounds.right - bounds.left;
    const int h = bounds.bottom - bounds.top;
    // Fit inside the bounds, keeping the aspect ratio, at the top-left corner.
    if (static_cast<long long>(w) * pictureHeight <= static_cast<long long>(h) * pictureWidth) {
        r.bottom = r.top + MulDiv(w, pictureHeight, pictureWidth);
    } else {
        r.right = r.left + MulDiv(h, pictureWidth, pictureHeight);
    }
    return r;
}

void TImage::Paint(HDC dc, const RECT& bounds) const {
    if (!bitmap_) return;
    const RECT r = PictureRect(bounds);
    HDC mem = CreateCompatibleDC(dc);
    const HGDIOBJ old = SelectObject(mem, bitmap_);
    SetStretchBltMode(dc, HALFTONE);
    SetBrushOrgEx(dc, 0, 0, nullptr);
    StretchBlt(dc, r.left, r.top, r.right - r.left, r.bottom - r.top, mem, 0, 0, pictureWidth, pictureHeight, SRCCOPY);
    SelectObject(mem, old);
    DeleteDC(mem);
}

}  // namespace kestrino
