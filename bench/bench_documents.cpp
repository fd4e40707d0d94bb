// The document model beside one libxml2 SAX pass over the same bytes: the
// parse of every document kind the simulated devices serve, the setup
// update filter, and a write of a setup record.
#include <benchmark/benchmark.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "bench/bench_cases.h"
#include "bench/bench_support.h"
#include "qxxml/qxxml_docmodel_private.h"
#include "qxxml/qxxml_private.h"

namespace {

constexpr int kSlot = 9;
// Room a post preparation gives the filter beyond the document.
constexpr int kFilterRoom = 1024;

// What one iteration does to a fresh copy of the document in a buffer of
// `capacity` bytes; 0 when it succeeded.
using Pass = std::function<int(char *text, int length, int capacity)>;

// Both sides copy the document into their buffer first (the parse rewrites
// its input in place), so the copy weighs the same on either side.
void run_pass(benchmark::State &state, const std::string &document, int capacity, const Pass &pass) {
  if (document.empty()) {
    state.SkipWithError("the simulator served no document");
    return;
  }
  std::vector<char> buffer(static_cast<size_t>(capacity));
  for (auto _ : state) {
    std::memcpy(buffer.data(), document.data(), document.size());
    std::memset(buffer.data() + document.size(), 0, buffer.size() - document.size());
    if (pass(buffer.data(), static_cast<int>(document.size()), capacity) != 0) {
      state.SkipWithError("the pass failed");
      break;
    }
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(document.size()));
  state.counters["document_bytes"] = static_cast<double>(document.size());
}

// Registers `row`/project and `row`/baseline: the project's pass and one SAX
// pass, over the same document.
void register_row(const std::string &row, const std::string &document, int capacity, const Pass &project) {
  benchmark::RegisterBenchmark((row + "/project").c_str(), [document, capacity, project](benchmark::State &state) {
    run_pass(state, document, capacity, project);
  });
  benchmark::RegisterBenchmark((row + "/baseline").c_str(), [document, capacity](benchmark::State &state) {
    run_pass(state, document, capacity, [](char *text, int length, int) { return bench::sax_pass(text, length); });
  });
}

Pass parse_as(int kind) {
  return [kind](char *text, int length, int) { return qxxml_parse_document(kSlot, text, length, kind); };
}

int filter_pass(char *text, int, int capacity) { return qxxml_filter_setup_update(kSlot, text, capacity); }

// Parses the setup of the largest device with its sensors cut to those whose
// record still writes, so that the case measures a whole write and a filter
// of the written document rather than a refused write.
bool parse_largest_writable_setup() {
  devsim::DeviceConfig config = bench::variant_config("max-sensors");
  std::vector<char> out(QXXML_DOC_MAX);
  for (; !config.sensors.empty(); config.sensors.pop_back()) {
    std::string document = bench::setup_document_of(config);
    if (qxxml_parse_document(kSlot, document.data(), (int)document.size(), QXXML_DOC_SETUP) != 0) return false;
    if (qxxml_write_setup_document(qxxml_slots[kSlot].setup, qxxml_slots[kSlot].setup_counts, out.data()) == 0)
      return true;
  }
  return false;
}

void write_and_filter_setup(benchmark::State &state) {
  if (!parse_largest_writable_setup()) {
    state.SkipWithError("no simulated setup could be parsed and written");
    return;
  }
  const qxxml_setup *record = qxxml_slots[kSlot].setup;
  const qxxml_setup_counts *counts = qxxml_slots[kSlot].setup_counts;
  std::vector<char> out(QXXML_DOC_MAX);
  for (auto _ : state) {
    if (qxxml_write_setup_document(record, counts, out.data()) != 0) {
      state.SkipWithError("the setup record was not written");
      break;
    }
    // As a post prepares it: the written text and its zero, filtered in place.
    if (qxxml_filter_setup_update(kSlot, out.data(), (int)strlen(out.data()) + 1) != 0) {
      state.SkipWithError("the written setup document was not filtered");
      break;
    }
  }
  state.counters["sensors"] = counts->SenSet_count;
}

}  // namespace

void bench::register_document_cases() {
  // The largest simulated device: 42 sensors, a setup document near 19999 bytes.
  const devsim::DeviceConfig largest = largest_config();
  const std::string setup = setup_document_of(largest);
  const int setup_capacity = static_cast<int>(setup.size()) + kFilterRoom;
  register_row("parse_setup", setup, setup_capacity, parse_as(QXXML_DOC_SETUP));
  const std::string values = values_document_of(largest);
  register_row("parse_values", values, static_cast<int>(values.size()), parse_as(QXXML_DOC_VALUES));
  for (const char *meter : {"meter-45", "meter-55", "meter-57", "meter-58"}) {
    const std::string document = values_document_of(variant_config(meter));
    register_row(std::string("parse_") + meter, document, static_cast<int>(document.size()),
                 parse_as(QXXML_DOC_VALUES));
  }
  register_row("filter_setup", setup, setup_capacity, filter_pass);
  benchmark::RegisterBenchmark("write_and_filter_setup", write_and_filter_setup);
}
