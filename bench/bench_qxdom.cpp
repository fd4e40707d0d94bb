// qxdom_parse_memory beside libxml2's tree parse (xmlReadMemory and
// xmlFreeDoc) on text-heavy XML files that Debian packages install.
#include <benchmark/benchmark.h>
#include <libxml/parser.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

#include "bench/bench_cases.h"
#include "qxxml/qxdom/qxdom.h"

namespace {

namespace fs = std::filesystem;

constexpr char kSearchRoot[] = "/usr/share";
constexpr std::uintmax_t kSmallest = 100 * 1024;
// About 2 MB, so that the Vulkan registry (2.1 MB) is among them.
constexpr std::uintmax_t kLargest = 5 * 1024 * 1024 / 2;
constexpr std::size_t kMostFiles = 8;
constexpr int kReadOptions = XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING;

std::string read_whole(const fs::path &path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Both parsers must read the file whole for the comparison to mean anything;
// some installed files are not well-formed.
bool well_formed(const std::string &text) {
  xmlDocPtr document = xmlReadMemory(text.data(), static_cast<int>(text.size()), nullptr, nullptr, kReadOptions);
  if (!document) return false;
  xmlFreeDoc(document);
  return true;
}

// The well-formed XML files of the size range below the search root (links
// left out, so that none counts twice), in path order.
std::vector<fs::path> text_heavy_files() {
  std::vector<fs::path> found;
  std::error_code error;
  auto options = fs::directory_options::skip_permission_denied;
  for (fs::recursive_directory_iterator it(kSearchRoot, options, error), end; !error && it != end;
       it.increment(error)) {
    if (it->is_symlink(error) || !it->is_regular_file(error) || it->path().extension() != ".xml") continue;
    std::uintmax_t size = it->file_size(error);
    if (!error && size >= kSmallest && size <= kLargest) found.push_back(it->path());
  }
  std::sort(found.begin(), found.end());
  std::vector<fs::path> readable;
  for (const fs::path &path : found)
    if (readable.size() < kMostFiles && well_formed(read_whole(path))) readable.push_back(path);
  return readable;
}

// qxdom parses in place: each iteration parses a fresh copy, and so does the
// baseline, so that the copy weighs the same on both sides.
void qxdom_pass(benchmark::State &state, const std::string &text) {
  std::vector<char> buffer(text.size());
  for (auto _ : state) {
    std::memcpy(buffer.data(), text.data(), text.size());
    qxdom_document *document = qxdom_parse_memory(buffer.data(), buffer.size());
    if (!document || document->error[0] != '\0') {
      state.SkipWithError(document ? document->error : "no document");
      if (document) qxdom_release(&document->node);
      break;
    }
    qxdom_release(&document->node);
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(text.size()));
}

void libxml2_pass(benchmark::State &state, const std::string &text) {
  std::vector<char> buffer(text.size());
  for (auto _ : state) {
    std::memcpy(buffer.data(), text.data(), text.size());
    xmlDocPtr document = xmlReadMemory(buffer.data(), static_cast<int>(buffer.size()), nullptr, nullptr, kReadOptions);
    if (!document) {
      state.SkipWithError("libxml2 did not read the file");
      break;
    }
    xmlFreeDoc(document);
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(text.size()));
}

void no_file(benchmark::State &state) {
  for (auto _ : state) {
  }
  state.SkipWithError("no well-formed XML file of 100 KB to 2.5 MB under /usr/share");
}

}  // namespace

void bench::register_qxdom_cases() {
  std::vector<fs::path> files = text_heavy_files();
  if (files.empty()) benchmark::RegisterBenchmark("qxdom:none", no_file);
  for (const fs::path &path : files) {
    const std::string text = read_whole(path);
    const std::string row = "qxdom:" + path.string();
    benchmark::RegisterBenchmark((row + "/project").c_str(), [text](benchmark::State &s) { qxdom_pass(s, text); });
    benchmark::RegisterBenchmark((row + "/baseline").c_str(), [text](benchmark::State &s) { libxml2_pass(s, text); });
  }
}
