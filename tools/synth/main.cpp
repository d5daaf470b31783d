// tamboro-synth: renders the demo loop library.
//
//   tamboro-synth OUTPUT_FOLDER
//
// Writes every loop of the catalogue into the folder, then index.txt with
// one line per loop: file, format, bars, title, description. The index is
// written last, so its presence means the library is complete.
#include <cstdio>
#include <filesystem>
#include <string>

#include "tools/synth/LoopFiles.h"
#include "tools/synth/Loops.h"

int main(int argc, char** argv) {
    using namespace tamboro::synth;
    if (argc != 2) {
        std::fprintf(stderr, "usage: tamboro-synth OUTPUT_FOLDER\n");
        return 2;
    }
    const std::filesystem::path folder = argv[1];
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (error) {
        std::fprintf(stderr, "tamboro-synth: cannot create %s\n", folder.c_str());
        return 1;
    }
    // Files of an earlier library that the catalogue no longer has would
    // otherwise linger and be installed: the old index names them.
    {
        std::FILE* old = std::fopen((folder / "index.txt").c_str(), "rb");
        char line[512];
        while (old && std::fgets(line, sizeof line, old)) {
            std::string name(line);
            name = name.substr(0, name.find_first_of("\t\r\n"));
            if (name.empty() || name[0] == '#' || name.find('/') != std::string::npos) continue;
            bool current = false;
            for (const LoopInfo& info : Catalogue())
                current = current || name == info.file;
            if (!current) std::filesystem::remove(folder / name, error);
        }
        if (old) std::fclose(old);
    }
    std::string index = "# file\tformat\tbars\ttitle\tdescription\n";
    for (const LoopInfo& info : Catalogue()) {
        tamboro::audio::Wave wave;
        const std::string path = (folder / info.file).string();
        if (!RenderLoop(info, wave)) {
            std::fprintf(stderr, "tamboro-synth: cannot render %s\n", info.file);
            return 1;
        }
        const tamboro::audio::SoundResult result = WriteLoopFile(wave, info.format.kind, path);
        if (result != tamboro::audio::SoundResult::Ok) {
            std::fprintf(stderr, "tamboro-synth: cannot write %s (code %u)\n", path.c_str(),
                         static_cast<unsigned>(result));
            return 1;
        }
        index += std::string(info.file) + "\t" + DescribeFormat(info.format) + "\t" +
                 std::to_string(info.bars) + "\t" + info.title + "\t" + info.description + "\n";
    }
    const std::string indexPath = (folder / "index.txt").string();
    std::FILE* file = std::fopen(indexPath.c_str(), "wb");
    if (!file || std::fwrite(index.data(), 1, index.size(), file) != index.size() ||
        std::fclose(file) != 0) {
        std::fprintf(stderr, "tamboro-synth: cannot write %s\n", indexPath.c_str());
        return 1;
    }
    std::printf("tamboro-synth: %zu loops in %s\n", Catalogue().size(), folder.c_str());
    return 0;
}
