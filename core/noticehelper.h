// The contract between the program and quorvant-notice, which draws the mode
// notice on Wayland desktops with layer-shell surfaces: the program starts it
// beside itself as "quorvant-notice MILLISECONDS TEXT", ends it to put up
// another, and shows its own notice where it ends with any status but 0,
// kNoLayerShell above all.
#pragma once

namespace noticehelper {

constexpr char kProgram[] = "quorvant-notice";
constexpr int kUsage = 2;
constexpr int kNoLayerShell = 3;

} // namespace noticehelper
