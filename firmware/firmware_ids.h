// Control identifiers of the firmware update dialog that the loaders touch.
#pragma once

namespace mc::fwid {

constexpr int kProgress = 1086;
constexpr int kMainLoadFile = 1087;
constexpr int kMainStart = 1088;
constexpr int kMainAbort = 1089;
constexpr int kFileSize = 1090;
constexpr int kMainStatus = 1091;
constexpr int kDbStatus = 1092;
constexpr int kHdbtStatus = 1093;
constexpr int kMainPath = 1095;
constexpr int kDbPath = 1096;
constexpr int kHdbtPath = 1097;
constexpr int kBreak = 1130;
constexpr int kHdbtLoadFile = 1192;
constexpr int kHdbtStart = 1193;
constexpr int kHdbtAbort = 1194;
constexpr int kDbLoadFile = 1195;
constexpr int kDbStart = 1196;
constexpr int kDbAbort = 1197;

}  // namespace mc::fwid
