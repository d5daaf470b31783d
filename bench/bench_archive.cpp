// Reading a 40 MB packed file through the packed-file reader, against its
// peers in the same run: zlib's uncompress of the same blocks from memory
// (the work the reader cannot avoid), and the plain file read through the
// same reader (the cost of the file system alone). Also records read out of
// a packed archive.
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <numbers>
#include <string>
#include <vector>

#include "base/ByteOrder.h"
#include "base/PackedReader.h"
#include "base/UnfmArchive.h"
#include "platform/TempFiles.h"
#include "tools/CkpPack.h"

namespace {

using tamboro::base::PackedReader;
using tamboro::base::UnfmArchive;

constexpr std::size_t kContentSize = 40u << 20;

// 16-bit stereo sine with a little noise: compresses about as well as the
// loops stored in song files.
std::vector<std::uint8_t> AudioLike(std::size_t bytes) {
    std::vector<std::uint8_t> out(bytes);
    std::uint32_t noise = 12345;
    for (std::size_t i = 0; i + 3 < bytes; i += 4) {
        const double t = static_cast<double>(i / 4) / 44100.0;
        noise = noise * 1664525u + 1013904223u;
        const auto s =
            static_cast<std::int16_t>(12000.0 * std::sin(2 * std::numbers::pi * 220.0 * t) +
                                      static_cast<double>((noise >> 24) & 15));
        out[i] = out[i + 2] = static_cast<std::uint8_t>(s);
        out[i + 1] = out[i + 3] = static_cast<std::uint8_t>(static_cast<std::uint16_t>(s) >> 8);
    }
    return out;
}

struct Files {
    std::string plainPath;
    std::string packedPath;
    std::string archivePath;
    std::vector<std::uint8_t> packed;  // the packed file's bytes
    std::vector<std::uint8_t> content;

    Files() {
        content = AudioLike(kContentSize);
        packed = tamboro::tools::PackCkp(content);
        tamboro::platform::MakeTempFileName("TBB", plainPath);
        tamboro::platform::MakeTempFileName("TBB", packedPath);
        tamboro::platform::MakeTempFileName("TBB", archivePath);
        Write(plainPath, content);
        Write(packedPath, packed);
        // An archive of twenty 2 MB records, packed.
        const std::string plainArchive = archivePath + ".plain";
        {
            UnfmArchive a;
            a.Create(plainArchive);
            for (int i = 0; i < 20; ++i)
                a.Append(content.data() + i * (2u << 20), 2u << 20);
            a.Close();
        }
        std::FILE* f = std::fopen(plainArchive.c_str(), "rb");
        std::vector<std::uint8_t> bytes(20 * (2u << 20) + 16 + 20 * 8);
        if (f != nullptr) {
            bytes.resize(std::fread(bytes.data(), 1, bytes.size(), f));
            std::fclose(f);
        }
        tamboro::platform::DeleteFile(plainArchive);
        Write(archivePath, tamboro::tools::PackCkp(bytes));
    }
    ~Files() {
        tamboro::platform::DeleteFile(plainPath);
        tamboro::platform::DeleteFile(packedPath);
        tamboro::platform::DeleteFile(archivePath);
    }
    static void Write(const std::string& path, const std::vector<std::uint8_t>& bytes) {
        std::FILE* f = std::fopen(path.c_str(), "wb");
        if (f == nullptr) return;
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
    }
};

Files& TheFiles() {
    static Files files;
    return files;
}

void ReadThrough(benchmark::State& state, const std::string& path) {
    std::vector<std::uint8_t> buf(64 * 1024);
    for (auto _ : state) {
        auto r = PackedReader::OpenPacked(path);
        if (!r) {
            state.SkipWithError("cannot open");
            return;
        }
        std::size_t total = 0;
        for (;;) {
            const std::size_t got = r->Read(buf.data(), buf.size());
            if (got == 0) break;
            total += got;
        }
        if (total != kContentSize) state.SkipWithError("short read");
        benchmark::DoNotOptimize(buf.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * kContentSize);
}

void BM_PackedRead_Tamboro(benchmark::State& state) {
    ReadThrough(state, TheFiles().packedPath);
}
BENCHMARK(BM_PackedRead_Tamboro)->Unit(benchmark::kMillisecond);

// Peer: zlib's whole-buffer uncompress of the same blocks, already in memory.
void BM_Uncompress_Zlib(benchmark::State& state) {
    const auto& packed = TheFiles().packed;
    auto le32 = [&](std::size_t at) { return tamboro::base::LoadLe<32>(packed.data() + at); };
    const std::uint32_t blocks = le32(8);
    const std::uint32_t table = le32(24);
    std::vector<std::uint8_t> out(PackedReader::kBlockSize);
    for (auto _ : state) {
        std::size_t total = 0;
        for (std::uint32_t i = 0; i < blocks; ++i) {
            uLongf n = static_cast<uLongf>(out.size());
            if (uncompress(out.data(), &n, packed.data() + le32(table + i * 8),
                           le32(table + i * 8 + 4)) != Z_OK) {
                state.SkipWithError("uncompress failed");
                return;
            }
            total += n;
        }
        if (total != kContentSize) state.SkipWithError("short");
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * kContentSize);
}
BENCHMARK(BM_Uncompress_Zlib)->Unit(benchmark::kMillisecond);

// Peer: the same content as a plain file, through the same reader.
void BM_PlainRead_Tamboro(benchmark::State& state) {
    ReadThrough(state, TheFiles().plainPath);
}
BENCHMARK(BM_PlainRead_Tamboro)->Unit(benchmark::kMillisecond);

// Twenty 2 MB records out of a packed archive, in reverse order.
void BM_ArchiveReadRecords_Packed(benchmark::State& state) {
    std::vector<std::uint8_t> record;
    for (auto _ : state) {
        UnfmArchive a;
        if (a.Open(TheFiles().archivePath) != 0) {
            state.SkipWithError("cannot open");
            return;
        }
        for (int i = 19; i >= 0; --i) {
            if (a.ReadRecord(i, record) != 0) state.SkipWithError("read failed");
        }
        benchmark::DoNotOptimize(record.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * 20 * (2 << 20));
}
BENCHMARK(BM_ArchiveReadRecords_Packed)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
