#pragma once
// Command ids of the result page's menu items, shared with tools that drive
// the program from outside.

namespace kestrino {

inline constexpr unsigned kCmdCopyToClipboard = 101;
inline constexpr unsigned kCmdSaveToTextFile = 102;

}  // namespace kestrino
