// The contract between the program and quorvant-notice, which draws the mode
// notice on Wayland desktops with layer-shell surfaces: the program starts it
// beside itself as "quorvant-notice MILLISECONDS TEXT", ends it to put up
// another, and shows its own notice where it ends with any status but 0,
// kNoLayerShell above all.
#pragma once

namespace noticehelper {

constexpr char kProgram[] = "quorvant-notice";
// Where the notice stands, whoever draws it: this wide and high, centred
// across the pointer's screen, this far below its top edge.
constexpr int kWidth = 300;
constexpr int kHeight = 100;
constexpr int kTop = 200;
constexpr int kUsage = 2;
constexpr int kNoLayerShell = 3;

} // namespace noticehelper
