#pragma once

// How a size level found in an effect's segment becomes pixels.
//
// The pen reports small levels (the receiver sends 1 to 5, the laser pointer
// also 0), but the segment is a plain integer that anyone may write, so every
// integer must give a usable size: level 0 is the smallest, each level adds
// `step` pixels, and levels below 0 or above `maxLevel` are clamped.
struct SizeMap
{
    int base; // pixels at level 0
    int step; // pixels added per level
    int maxLevel; // the largest level that still grows

    constexpr int clampLevel(int level) const
    {
        return level < 0 ? 0 : (level > maxLevel ? maxLevel : level);
    }
    constexpr int pixels(int level) const { return base + step * clampLevel(level); }
};

// Laser pointer: diameter of the dot's bright core, 10 to 46 pixels. The glow
// around it reaches as far again.
inline constexpr SizeMap kDotDiameter { 10, 4, 9 };

// Magnifier: diameter of the lens, 120 to 480 pixels.
inline constexpr SizeMap kLensDiameter { 120, 40, 9 };

// Spotlight: radius of the clear circle, 30 to 210 pixels. Levels 1 to 4 give
// the same circles as the main program's own spotlight overlay (50, 70, 90,
// 110).
inline constexpr SizeMap kSpotRadius { 30, 20, 9 };

// The magnifier enlarges what lies under the pointer twice.
inline constexpr int kLensZoom = 2;
