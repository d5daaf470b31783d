#pragma once
// Helpers shared by the test suites.
#include <cstdint>
#include <string>
#include <vector>

namespace tamboro::test {

// A fresh folder under the temporary folder, removed with its content by
// the destructor.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& Path() const { return m_path; }
    // Path of a file inside the folder.
    std::string File(const std::string& name) const { return m_path + "/" + name; }
    // Names of the entries in the folder, sorted.
    std::vector<std::string> List() const;

  private:
    std::string m_path;
};

std::vector<std::uint8_t> ReadAll(const std::string& path);
bool WriteAll(const std::string& path, const std::vector<std::uint8_t>& bytes);
bool FileExists(const std::string& path);

// Runs a shell command; returns its exit status (-1 when it could not run).
int RunCommand(const std::string& command);
// Whether a program is on PATH.
bool HaveProgram(const std::string& name);

}  // namespace tamboro::test
