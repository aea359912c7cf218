// The colour ramps the package's check box and radio button fill their insides with.
#pragma once

#include "platform/Gdi.h"

namespace zuvo::widgets::xpface {

constexpr COLORREF Hex(unsigned rgb) { return RGB((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF); }

// The inside of a check box or a radio button, by state: position (u, v) takes ramp[u + v].
inline constexpr COLORREF kNormalRamp[21] = {
    Hex(0xDCDCD7), Hex(0xDCDCD7), Hex(0xDCDCD7), Hex(0xDEDED9), Hex(0xE0E0DB), Hex(0xE2E2DE), Hex(0xE5E5E2),
    Hex(0xE8E8E5), Hex(0xECECE9), Hex(0xEFEFEC), Hex(0xF1F1EF), Hex(0xF3F3F1), Hex(0xF5F5F4), Hex(0xF7F7F6),
    Hex(0xF9F9F8), Hex(0xFBFBFA), Hex(0xFDFDFC), Hex(0xFEFEFE), Hex(0xFFFFFF), Hex(0xFFFFFF), Hex(0xFFFFFF)};
inline constexpr COLORREF kHotRamp[21] = {
    Hex(0xFFF0CF), Hex(0xFFEDC6), Hex(0xFFE9BA), Hex(0xFEE4AC), Hex(0xFEDF9C), Hex(0xFDD98C), Hex(0xFDD684),
    Hex(0xFCD37C), Hex(0xFCD074), Hex(0xFBCC6B), Hex(0xFBC863), Hex(0xFAC55A), Hex(0xFAC254), Hex(0xFAC04E),
    Hex(0xF9BD48), Hex(0xF9BB43), Hex(0xF9B93E), Hex(0xF9B73A), Hex(0xF8B636), Hex(0xF8B433), Hex(0xF8B330)};
inline constexpr COLORREF kPressedRamp[21] = {
    Hex(0xB0B0A7), Hex(0xB0B0A7), Hex(0xB0B0A7), Hex(0xB3B3AA), Hex(0xB7B7AD), Hex(0xBCBBB1), Hex(0xC1C1B6),
    Hex(0xC7C6BB), Hex(0xCDCCC0), Hex(0xD2D1C5), Hex(0xD7D5C8), Hex(0xDBDACC), Hex(0xDFDDCF), Hex(0xE3E1D3),
    Hex(0xE6E5D6), Hex(0xEAE8D9), Hex(0xEDEBDB), Hex(0xEFEDDD), Hex(0xF1EFDF), Hex(0xF1EFDF), Hex(0xF1EFDF)};

}  // namespace zuvo::widgets::xpface
