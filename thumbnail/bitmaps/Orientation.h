#pragma once

namespace skimlet {

// How a camera stored a photo relative to how a viewer shows it: the values of
// the Exif orientation tag. 1 is upright; 5 to 8 swap width and height.
enum class Orientation : int {
    Normal = 1,
    FlipHorizontal = 2,
    Rotate180 = 3,
    FlipVertical = 4,
    Transpose = 5,
    Rotate90 = 6, // shown turned 90 degrees clockwise
    Transverse = 7,
    Rotate270 = 8, // shown turned 90 degrees anticlockwise
};

constexpr bool SwapsAxes(Orientation o) {
    return static_cast<int>(o) >= 5;
}

// The stored position of the pixel a viewer shows at (x, y), for a stored
// picture of storedWidth x storedHeight pixels.
struct StoredPosition {
    int x;
    int y;
};

constexpr StoredPosition StoredPositionOf(Orientation o, int x, int y, int storedWidth,
                                          int storedHeight) {
    switch (o) {
    case Orientation::FlipHorizontal:
        return {storedWidth - 1 - x, y};
    case Orientation::Rotate180:
        return {storedWidth - 1 - x, storedHeight - 1 - y};
    case Orientation::FlipVertical:
        return {x, storedHeight - 1 - y};
    case Orientation::Transpose:
        return {y, x};
    case Orientation::Rotate90:
        return {y, storedHeight - 1 - x};
    case Orientation::Transverse:
        return {storedWidth - 1 - y, storedHeight - 1 - x};
    case Orientation::Rotate270:
        return {storedWidth - 1 - y, x};
    case Orientation::Normal:
        break;
    }
    return {x, y};
}

// Where a viewer shows the stored pixel (x, y) of a stored picture of
// storedWidth x storedHeight pixels: the inverse of StoredPositionOf.
constexpr StoredPosition ShownPositionOf(Orientation o, int x, int y, int storedWidth,
                                         int storedHeight) {
    switch (o) {
    case Orientation::Transpose:
        return {y, x};
    case Orientation::Rotate90:
        return {storedHeight - 1 - y, x};
    case Orientation::Transverse:
        return {storedHeight - 1 - y, storedWidth - 1 - x};
    case Orientation::Rotate270:
        return {y, storedWidth - 1 - x};
    default: // the others are their own inverse
        return StoredPositionOf(o, x, y, storedWidth, storedHeight);
    }
}

} // namespace skimlet
