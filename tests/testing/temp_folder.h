#pragma once
// A folder of its own under the system's temporary folder for one test, removed
// with everything in it when the object ends. Its name is new each time, so tests
// in parallel, and other checkouts' test runs, never share a file.

#include <filesystem>
#include <fstream>
#include <random>
#include <string>

namespace tarnwick::testing {

class TempFolder {
 public:
  TempFolder() {
    std::random_device random;
    do path_ = std::filesystem::temp_directory_path() / ("tarnwick-test-" + std::to_string(random()));
    while (!std::filesystem::create_directory(path_));
  }
  ~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  std::string Path() const { return path_.string(); }
  std::string Path(const std::string& name) const { return (path_ / name).string(); }
  // Writes text to the file name here and returns its path.
  std::string Write(const std::string& name, const std::string& text) const {
    std::ofstream(path_ / name, std::ios::binary) << text;
    return Path(name);
  }
  std::string Read(const std::string& name) const {
    std::ifstream in(path_ / name, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
  }

 private:
  std::filesystem::path path_;
};

}  // namespace tarnwick::testing
