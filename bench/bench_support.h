// Shared pieces of the benchmarks: the documents the simulator serves, the
// baseline a correct client cannot go below (one libxml2 SAX pass with
// empty callbacks, a bare HTTP/1.0 exchange), and the figures of a run.
#ifndef BENCH_BENCH_SUPPORT_H
#define BENCH_BENCH_SUPPORT_H

#include <string>
#include <vector>

#include "tools/devsim/devsim.h"

namespace bench {

// Set from the command line before any benchmark registers: a smoke run
// does every case once, briefly, so that they keep working.
void set_smoke(bool smoke);
bool smoke();
// `normal` rounds of a repeated case, or 1 in a smoke run.
int rounds(int normal);

// The configuration of a built-in variant; an empty one for an unknown name.
devsim::DeviceConfig variant_config(const char *name);
// The largest device the simulator starts: 42 sensors, a setup document
// near 19999 bytes.
devsim::DeviceConfig largest_config();
// The documents a device of the variant serves, without faults.
std::string setup_document_of(const devsim::DeviceConfig &config);
std::string values_document_of(const devsim::DeviceConfig &config);

// One libxml2 SAX1 pass with empty callbacks over the bytes; 0 when the
// parser ran (a document that is not well-formed still counts as read).
int sax_pass(const char *text, int length);

// A client that does nothing beyond what the exchange needs: connect to
// 127.0.0.1:port, send the request, read until the device closes.
// Leaves the reply in `reply` and returns where its body begins, after the
// blank line of the header; -1 on any failure.
int bare_exchange(int port, const std::string &request, std::vector<char> *reply);

// The value at the fraction (0..1) of the sorted samples; 0 when empty.
double percentile(std::vector<double> samples, double fraction);

}  // namespace bench

#endif
