#pragma once

// How a thumbnail is framed: no frame, the selection frame or the wrong-prediction frame.
enum class BorderTint : unsigned char { None, Blue, Red };

struct PhotoBorder {
    BorderTint tint = BorderTint::None;
    float width = 0;  // points; 0 draws nothing whatever the tint
    bool operator==(const PhotoBorder& o) const { return tint == o.tint && width == o.width; }
    bool operator!=(const PhotoBorder& o) const { return !(*this == o); }
};

// What the browser keeps per thumbnail besides the image set itself. Kept small: a list of
// 100,000 images holds one of these per image.
struct Photo {
    static constexpr float selectedBoarderThickness = 3.0f;
    static constexpr float diffresBorderThickness = 5.0f;

    bool filled = false;         // label, prediction and frame taken from the set since the last reload
    bool hasprediction = false;  // filled while the set held predictions
    PhotoBorder border;
};
