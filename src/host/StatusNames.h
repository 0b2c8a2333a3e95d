// The six state words of hosts, programs and PBUs, and the slots of the two programs.
#pragma once

#include <array>
#include <string>
#include <string_view>

namespace tarvo {

// In this fixed order; a PBU reports its state as the index of its word ("0" to "5").
inline const std::array<std::string, 6> statusNames = {
    "未知", "停止", "初始化中", "运行", "正在注销", "正在登录",
};

// The word of a PBU status code read as a decimal integer ("3", "03", "+3"), or nullptr when
// the code is no integer or lies outside 0 to 5 (such a code has no word and is never used
// as an index).
const std::string *statusNameOf(std::string_view pbuStatus);

inline const std::string OES_NAME_A = "A股报盘程序";
inline const std::string OES_NAME_B = "B股报盘程序";

// 0 for the A-share program, 1 for the B-share program, -1 for any other name.
int oesIndexOf(std::string_view oesName);

} // namespace tarvo
