// When a moving stone can touch another, shared by the first-contact search
// of shot execution and by the fast simulator's event loop: the distances at
// which two stones touch and are taken to be in contact, and the chord rule
// that bounds how far a curling stone may advance before it could touch.
#pragma once

#include <cmath>

namespace Kelp {

// Centre distance of two touching stones (two radii, single precision).
inline constexpr double TOUCH_DISTANCE = static_cast<double>(0.29f);
// Centre distance below which two stones are in contact (m, compared squared).
inline constexpr double CONTACT_DISTANCE = static_cast<double>(0.2906f);
// Angle between a curling stone's chord and its straight line of travel
// (rad), taken by the law-of-cosines advance below.
inline constexpr double CHORD_ANGLE = 0.03333565;
inline const double COS_CHORD = std::cos(CHORD_ANGLE);

// The straight distance still to go after closing a gap g on a curling path
// with straight distance d left: the third side of the triangle with sides g
// and d and the chord angle between them (law of cosines).
inline double afterChord(double g, double d) {
  return std::sqrt(g * g + d * d - 2.0 * d * g * COS_CHORD);
}

}  // namespace Kelp
