// The groups of cases of qxxml_bench; bench_main.cpp registers them once the
// command line is read.
#ifndef BENCH_BENCH_CASES_H
#define BENCH_BENCH_CASES_H

namespace bench {

void register_document_cases();
void register_qxdom_cases();
void register_download_cases();
void register_search_cases();

}  // namespace bench

#endif
