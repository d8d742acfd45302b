#include "temp_dir.h"

#include <stdlib.h>

#include <stdexcept>
#include <system_error>

namespace calvex_test {

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "calvex-test-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("cannot create a temporary directory");
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

}  // namespace calvex_test
