// Parse, write and filter full setup documents of the simulated devices, the
// way a slot's worker and a post preparation do.
#include <benchmark/benchmark.h>

#include <cstring>
#include <string>
#include <vector>

#include "qxxml/qxxml_docmodel_private.h"
#include "qxxml/qxxml_private.h"
#include "tools/devsim/devsim.h"

namespace {

constexpr int kSlot = 9;

std::string setup_document_of(const devsim::DeviceConfig &config) {
  devsim::Server server;
  server.start(config);
  return server.setup_document();
}

// The largest simulated device (42 sensors): its document parses, but its
// record does not fit a written setup document.
std::string largest_setup_document() { return setup_document_of(*devsim::variant("max-sensors")); }

void BM_ParseSetup(benchmark::State &state) {
  const std::string document = largest_setup_document();
  std::vector<char> text(document.begin(), document.end());
  for (auto _ : state) {
    std::vector<char> copy = text;
    benchmark::DoNotOptimize(qxxml_parse_document(kSlot, copy.data(), (int)copy.size(), QXXML_DOC_SETUP));
  }
  state.SetBytesProcessed(state.iterations() * (int64_t)text.size());
}
BENCHMARK(BM_ParseSetup);

// Parses the setup of the largest device with its sensors cut to those whose
// record still writes, so that the case measures a whole write and a filter
// of the written document rather than a refused write.
bool parse_largest_writable_setup() {
  devsim::DeviceConfig config = *devsim::variant("max-sensors");
  std::vector<char> out(QXXML_DOC_MAX);
  for (; !config.sensors.empty(); config.sensors.pop_back()) {
    std::string document = setup_document_of(config);
    if (qxxml_parse_document(kSlot, document.data(), (int)document.size(), QXXML_DOC_SETUP) != 0) return false;
    if (qxxml_write_setup_document(qxxml_slots[kSlot].setup, qxxml_slots[kSlot].setup_counts, out.data()) == 0)
      return true;
  }
  return false;
}

void BM_WriteAndFilterSetup(benchmark::State &state) {
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
BENCHMARK(BM_WriteAndFilterSetup);

}  // namespace
