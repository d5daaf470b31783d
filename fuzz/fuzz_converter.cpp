// The conversion chain between random formats over random samples, checking
// the output-length law: reading a chain to its end delivers exactly the
// Length() it reported, and it is then at its end.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "audio/convert/FormatAdapter.h"
#include "audio/convert/FormatTags.h"
#include "audio/wave/MemoryStream.h"

using namespace tamboro::audio;

namespace {

bool Pick(const std::uint8_t* p, WAVEFORMATEX& f) {
    static constexpr std::uint16_t kTags[] = {kFormatPcm,  kFormatIeeeFloat, kFormatMuLaw,
                                              kFormatALaw, kFormatImaAdpcm,  kFormatMsAdpcm};
    // Common rates and one uneven one: few enough pairs that the resampler
    // pool keeps every run quick.
    static constexpr std::uint32_t kRates[] = {8000, 22050, 32075, 44100, 48000};
    const std::uint16_t tag = kTags[p[0] % 6];
    const std::uint32_t rate = kRates[p[1] % 5];
    const std::uint16_t channels = static_cast<std::uint16_t>(1 + p[3] % 2);
    std::uint16_t bits = 16;
    if (tag == kFormatPcm) bits = static_cast<std::uint16_t>(8 * (1 + p[2] % 4));
    if (tag == kFormatIeeeFloat) bits = (p[2] & 1) ? 64 : 32;
    if (tag == kFormatMuLaw || tag == kFormatALaw) bits = 8;
    if (tag == kFormatImaAdpcm || tag == kFormatMsAdpcm) bits = 4;
    return MakeFormat(f, tag, rate, bits, channels);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 9) return 0;
    WAVEFORMATEX from, to;
    if (!Pick(data, from) || !Pick(data + 4, to)) return 0;
    const std::uint32_t piece = 1 + data[8] * 37u;
    std::vector<std::uint8_t> samples(data + 9, data + size);
    FormatAdapter chain(
        from, to,
        std::make_unique<MemoryStream>(
            std::make_unique<tamboro::base::BorrowedStorage>(samples.data(), samples.size())));
    if (!chain.CanConvert()) __builtin_trap();  // every pair here converts
    const std::uint32_t length = chain.Length();
    std::vector<std::uint8_t> buffer(piece);
    std::uint64_t delivered = 0;
    for (;;) {
        const std::uint32_t n = chain.Read(buffer.data(), piece);
        if (n == 0) break;
        delivered += n;
        if (delivered > length) __builtin_trap();
    }
    if (delivered != length || !chain.AtEnd()) __builtin_trap();
    return 0;
}
