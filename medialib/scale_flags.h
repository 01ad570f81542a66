// Scaler flags for pictures that go to 24-bit BGR for a hook and come back.
#pragma once

extern "C" {
#include <libswscale/swscale.h>
}

namespace kestrel {

// Exact rounding and chroma interpolated for every pixel: with the scaler's fast paths a
// picture that goes to 24 bits and back comes out darker and tinted (a grey level 86
// became 83, 85, 82), so every hooked picture would change where the hook painted nothing.
constexpr int kRgbRoundTripScaleFlags = SWS_BICUBIC | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INT;

}  // namespace kestrel
