#pragma once
// Helpers shared by the test suites.
#include <gtest/gtest.h>

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
// The whole file as a string ("" when it cannot be read).
std::string ReadText(const std::string& path);
bool WriteAll(const std::string& path, const std::vector<std::uint8_t>& bytes);
bool FileExists(const std::string& path);

// Runs a shell command; returns its exit status (-1 when it could not run).
int RunCommand(const std::string& command);
// Whether a program is on PATH.
bool HaveProgram(const std::string& name);

// The tamboro-cli program of this build.
const std::string& CliPath();

// Suites that run tamboro-cli as a user does: each test gets a fresh folder
// as the working directory, stdout and stderr go to files there, and the
// test is skipped when the program is not built.
class CliFixture : public ::testing::Test {
  protected:
    void SetUp() override;
    // Runs `tamboro-cli ARGS` (ARGS as the shell reads them); its exit status.
    int Run(const std::string& args);
    std::string Out() const { return ReadText(m_dir.File("out.txt")); }
    std::string Err() const { return ReadText(m_dir.File("err.txt")); }

    TempDir m_dir;
};

}  // namespace tamboro::test
