#pragma once
// Key codes of the current event and of alert keys: a virtual key (or a
// mouse button code) with modifier bits above it.
namespace ui::key {

inline constexpr int Shift = 0x100;
inline constexpr int Ctrl = 0x200;
inline constexpr int Alt = 0x400;

// Mouse buttons; the "2" codes are double clicks.
inline constexpr int MouseLeft = 1;
inline constexpr int MouseRight = 2;
inline constexpr int MouseCenter = 3;
inline constexpr int MouseLeft2 = 5;
inline constexpr int MouseRight2 = 6;

inline constexpr int Tab = 0x09;
inline constexpr int Enter = 0x0D;
inline constexpr int Esc = 0x1B;
inline constexpr int Space = 0x20;
inline constexpr int Left = 0x25;
inline constexpr int Up = 0x26;
inline constexpr int Right = 0x27;
inline constexpr int Down = 0x28;
inline constexpr int Insert = 0x2D;
inline constexpr int Delete = 0x2E;
inline constexpr int F1 = 0x70;

constexpr bool IsMouse(int code) { return (code & 0xFF) >= 1 && (code & 0xFF) <= 6; }

}  // namespace ui::key
