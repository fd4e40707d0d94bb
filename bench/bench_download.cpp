// One setup download from a simulated device on loopback per iteration:
// connect, request, receive until close, parse, mark, wait.
#include <benchmark/benchmark.h>

#include "qxxml/qxxml.h"
#include "tools/devsim/devsim.h"

namespace {

void BM_SetupDownload(benchmark::State &state) {
  devsim::Server server;
  if (server.start(*devsim::variant("max-sensors")) <= 0) {
    state.SkipWithError("simulator did not start");
    return;
  }
  qxxml_init();
  int slot = qxxml_open("127.0.0.1", server.port(), nullptr, nullptr);
  qxxml_wait_finish(slot, QXXML_FINISH_STARTED, 5);
  for (auto _ : state) {
    qxxml_get_setup(slot);
    if (qxxml_wait_finish(slot, QXXML_FINISH_SETUP, 20) != 0) state.SkipWithError("download did not finish");
  }
  qxxml_close(slot);
  qxxml_uninit();
}
BENCHMARK(BM_SetupDownload)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace
