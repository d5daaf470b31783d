#include "tests/support/TestSupport.h"

#include <sys/wait.h>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "platform/TempFiles.h"

namespace tamboro::test {

TempDir::TempDir() {
    std::string templ = platform::TempFolder() + "/tamboro-test-XXXXXX";
    std::vector<char> buffer(templ.begin(), templ.end());
    buffer.push_back('\0');
    if (::mkdtemp(buffer.data()) != nullptr) m_path = buffer.data();
}

TempDir::~TempDir() {
    std::error_code ec;
    if (!m_path.empty()) std::filesystem::remove_all(m_path, ec);
}

std::vector<std::string> TempDir::List() const {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(m_path, ec)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<std::uint8_t> ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string ReadText(const std::string& path) {
    const auto bytes = ReadAll(path);
    return std::string(bytes.begin(), bytes.end());
}

bool WriteAll(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

bool FileExists(const std::string& path) {
    std::error_code ec;
    return std::filesystem::exists(path, ec);
}

int RunCommand(const std::string& command) {
    const int status = std::system(command.c_str());
    if (status == -1 || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

bool HaveProgram(const std::string& name) {
    return RunCommand("command -v " + name + " >/dev/null 2>&1") == 0;
}

const std::string& CliPath() {
    static const std::string path = std::string(TAMBORO_BINARY_DIR) + "/cli/tamboro-cli";
    return path;
}

void CliFixture::SetUp() {
    if (!FileExists(CliPath())) GTEST_SKIP() << "tamboro-cli not built";
}

int CliFixture::Run(const std::string& args) {
    return RunCommand("cd '" + m_dir.Path() + "' && '" + CliPath() + "' " + args +
                      " >out.txt 2>err.txt </dev/null");
}

}  // namespace tamboro::test
