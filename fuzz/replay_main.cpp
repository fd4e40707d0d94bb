// Runs a fuzz entry over the files of a corpus, so that the fuzz checks take
// part in every test run with any compiler. Arguments are files or folders;
// the run fails when one check aborts or when no input was found at all.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

int main(int argc, char **argv) {
  namespace fs = std::filesystem;
  std::vector<fs::path> inputs;
  for (int i = 1; i < argc; i++) {
    std::error_code ec;
    if (fs::is_directory(argv[i], ec)) {
      for (const auto &entry : fs::recursive_directory_iterator(argv[i], ec)) {
        if (entry.is_regular_file()) inputs.push_back(entry.path());
      }
    } else if (fs::is_regular_file(argv[i], ec)) {
      inputs.push_back(argv[i]);
    }
  }
  for (const fs::path &path : inputs) {
    std::ifstream in(path, std::ios::binary);
    std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    // Every prefix too: cut-off inputs are what devices send on a broken link.
    for (size_t n = 0; n <= data.size(); n++) {
      LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t *>(data.data()), n);
    }
  }
  printf("%zu inputs replayed\n", inputs.size());
  return inputs.empty() ? 1 : 0;
}
