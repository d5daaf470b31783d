// ckp-pack IN OUT [--table-at-end] [--level N]: writes IN as a "CKP" packed
// file, for making test files and fuzz seeds by hand.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

#include "tools/CkpPack.h"

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: ckp-pack IN OUT [--table-at-end] [--level N]\n");
        return 2;
    }
    tamboro::tools::CkpOptions options;
    for (int i = 3; i < argc; ++i) {
        if (std::strcmp(argv[i], "--table-at-end") == 0) {
            options.tableAtEnd = true;
        } else if (std::strcmp(argv[i], "--level") == 0 && i + 1 < argc) {
            options.level = std::atoi(argv[++i]);
        } else {
            std::fprintf(stderr, "ckp-pack: unknown option %s\n", argv[i]);
            return 2;
        }
    }
    std::ifstream in(argv[1], std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "ckp-pack: cannot read %s\n", argv[1]);
        return 1;
    }
    const std::vector<std::uint8_t> content((std::istreambuf_iterator<char>(in)),
                                            std::istreambuf_iterator<char>());
    const std::vector<std::uint8_t> packed = tamboro::tools::PackCkp(content, options);
    if (packed.empty()) {
        std::fprintf(stderr, "ckp-pack: cannot pack %s\n", argv[1]);
        return 1;
    }
    std::ofstream out(argv[2], std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(packed.data()),
              static_cast<std::streamsize>(packed.size()));
    if (!out) {
        std::fprintf(stderr, "ckp-pack: cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
