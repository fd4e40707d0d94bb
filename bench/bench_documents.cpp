// Parse, write and filter a full setup document of the largest simulated
// device (42 sensors), the way a slot's worker and a post preparation do.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "qxxml/qxxml_docmodel_private.h"
#include "qxxml/qxxml_private.h"
#include "tools/devsim/devsim.h"

namespace {

constexpr int kSlot = 9;

std::string largest_setup_document() {
  devsim::Server server;
  server.start(*devsim::variant("max-sensors"));
  return server.setup_document();
}

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

void BM_WriteAndFilterSetup(benchmark::State &state) {
  std::string document = largest_setup_document();
  qxxml_parse_document(kSlot, document.data(), (int)document.size(), QXXML_DOC_SETUP);
  std::vector<char> out(QXXML_DOC_MAX);
  for (auto _ : state) {
    qxxml_write_setup_document(qxxml_slots[kSlot].setup, qxxml_slots[kSlot].setup_counts, out.data());
    benchmark::DoNotOptimize(qxxml_filter_setup_update(kSlot, out.data(), (int)out.size()));
  }
}
BENCHMARK(BM_WriteAndFilterSetup);

}  // namespace
