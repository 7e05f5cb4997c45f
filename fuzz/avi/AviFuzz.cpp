// SPDX-License-Identifier: GPL-3.0-or-later
// Feeds arbitrary bytes to the clip reader and decodes what it accepts.
#include "platform/animation/AviClip.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // A detached copy, so reads past the end hit the sanitizer's red zone.
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    CAviClip clip;
    if (!ParseAvi(bytes, clip))
        return 0;
    QImage canvas;
    for (int i = 0; i < clip.FrameCount() && i < 64; ++i) {
        if (!DecodeAviFrame(clip, i, canvas))
            break;
    }
    return 0;
}
