// The one temporary directory of the tests: a fresh directory under the
// system's temporary directory (mkdtemp: a name no other test or run can
// hold), removed with everything in it on destruction.
#pragma once

#include <filesystem>
#include <string>

namespace calvex_test {

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& path() const { return path_; }
  // The path of `name` inside the directory (nothing is created).
  std::string file(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

}  // namespace calvex_test
