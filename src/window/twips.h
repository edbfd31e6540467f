// The layout is given in twips: 15 twips make one pixel at 96 dots per inch.
#pragma once

#include <QRect>

namespace regdiag {

constexpr int Px(int twips) { return twips / 15; }
inline QRect TwipsRect(int left, int top, int width, int height) {
  return {Px(left), Px(top), Px(width), Px(height)};
}

}  // namespace regdiag
