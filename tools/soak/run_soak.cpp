#include <chrono>

#include "tools/soak/workload.h"

namespace soak {

SoakRun run_soak(const std::string &name, std::unique_ptr<Workload> workload, long warmup, long count, int readings) {
  const auto began = std::chrono::steady_clock::now();
  SoakRun run;
  run.name = name;
  run.count = count;
  run.failure = workload->start();
  if (!run.failure.empty()) run.failure = "start: " + run.failure;
  for (long i = 0; run.failure.empty() && i < warmup; i++) {
    run.failure = workload->step(i);
    if (!run.failure.empty()) run.failure = "warm-up iteration " + std::to_string(i + 1) + ": " + run.failure;
  }
  if (run.failure.empty()) run.gauges.push_back(settled_gauge(0, nullptr));
  const long interval = readings > 0 && count / readings > 0 ? count / readings : 1;
  for (long done = 0; run.failure.empty() && done < count;) {
    run.failure = workload->step(warmup + done);
    done++;
    if (run.failure.empty() && (done % interval == 0 || done == count))
      run.gauges.push_back(settled_gauge(done, &run.gauges.front()));
    if (!run.failure.empty()) run.failure = "iteration " + std::to_string(done) + ": " + run.failure;
  }
  workload.reset();
  run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
  return run;
}

}  // namespace soak
