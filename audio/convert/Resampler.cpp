#include "audio/convert/Resampler.h"

#include <soxr.h>

#include <mutex>
#include <vector>

namespace tamboro::audio {
namespace {

struct Idle {
    soxr_t handle;
    double inputRate;
    double outputRate;
    unsigned channels;
};

constexpr std::size_t kPoolSize = 64;

std::mutex& PoolLock() {
    static std::mutex lock;
    return lock;
}
// Deliberately never destroyed: resamplers may end during static destruction.
std::vector<Idle>& Pool() {
    static auto* pool = new std::vector<Idle>();
    return *pool;
}

soxr_t TakeFromPool(double inputRate, double outputRate, unsigned channels) {
    std::lock_guard<std::mutex> guard(PoolLock());
    auto& pool = Pool();
    for (std::size_t i = pool.size(); i-- > 0;) {
        const Idle& idle = pool[i];
        if (idle.inputRate == inputRate && idle.outputRate == outputRate &&
            idle.channels == channels) {
            soxr_t handle = idle.handle;
            pool.erase(pool.begin() + static_cast<std::ptrdiff_t>(i));
            return handle;
        }
    }
    return nullptr;
}

}  // namespace

std::unique_ptr<Resampler> Resampler::Create(double inputRate, double outputRate,
                                             unsigned channels) {
    if (soxr_t pooled = TakeFromPool(inputRate, outputRate, channels)) {
        return std::unique_ptr<Resampler>(new Resampler(pooled, inputRate, outputRate, channels));
    }
    soxr_error_t error = nullptr;
    const soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT32_I, SOXR_FLOAT32_I);
    const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, 0);
    const soxr_runtime_spec_t runtime = soxr_runtime_spec(1);
    soxr_t handle = soxr_create(inputRate, outputRate, channels, &error, &io, &quality, &runtime);
    if (handle == nullptr || error != nullptr) {
        if (handle != nullptr) soxr_delete(handle);
        return nullptr;
    }
    return std::unique_ptr<Resampler>(new Resampler(handle, inputRate, outputRate, channels));
}

Resampler::~Resampler() {
    auto handle = static_cast<soxr_t>(m_handle);
    if (soxr_clear(handle) == nullptr) {
        std::lock_guard<std::mutex> guard(PoolLock());
        auto& pool = Pool();
        if (pool.size() == kPoolSize) {
            soxr_delete(pool.front().handle);  // the oldest makes room
            pool.erase(pool.begin());
        }
        pool.push_back({handle, m_inputRate, m_outputRate, m_channels});
        return;
    }
    soxr_delete(handle);
}

std::size_t Resampler::Process(const float* input, std::size_t frames, std::size_t* consumed,
                               float* output, std::size_t capacity) {
    std::size_t done = 0;
    std::size_t written = 0;
    // A null input means end of input to the library; an empty step is
    // passed as a zero-length buffer instead.
    static const float kNothing = 0.0f;
    soxr_process(static_cast<soxr_t>(m_handle), input != nullptr ? input : &kNothing, frames, &done,
                 output, capacity, &written);
    *consumed = done;
    return written;
}

std::size_t Resampler::Flush(float* output, std::size_t capacity) {
    std::size_t written = 0;
    soxr_process(static_cast<soxr_t>(m_handle), nullptr, 0, nullptr, output, capacity, &written);
    return written;
}

void Resampler::Clear() {
    soxr_clear(static_cast<soxr_t>(m_handle));
}

}  // namespace tamboro::audio
