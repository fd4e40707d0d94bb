/* A program outside the project's build: it finds a device with one UDP
 * search sent to the given address and port, then downloads its setup over
 * HTTP. Built once through pkg-config and once through find_package against
 * the installed libraries, so that both sets of installed files are proven.
 *   search_and_download ADDRESS UDP_PORT
 * Exit status 0 when a device answered and its setup arrived whole. */
#define _POSIX_C_SOURCE 200809L

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>
#include <time.h>

#include "qxudps/qxudps.h"
#include "qxxml/qxxml.h"

enum {
  kSearchPolls = 200,     /* a search ends after one quiet second; 10 s bound it */
  kPollMilliseconds = 50,
  kStartSeconds = 5,      /* a worker starts within milliseconds */
  kDownloadSeconds = 10,  /* a loopback download takes milliseconds */
  kExitFailure = 1,
  kExitUsage = 2
};

static void sleep_poll(void) {
  const struct timespec step = {0, kPollMilliseconds * 1000L * 1000L};
  nanosleep(&step, NULL);
}

static int fail_udp(const char *what) {
  fprintf(stderr, "search_and_download: %s failed\n", what);
  qxudps_error_print();
  return kExitFailure;
}

static int fail_xml(int slot, const char *what) {
  fprintf(stderr, "search_and_download: %s failed\n", what);
  qxxml_error_print(slot);
  return kExitFailure;
}

/* One search; copies the first device that answered into `device`. */
static int search(const char *address, int port, qxudps_device *device) {
  int polls;
  if (qxudps_set_search_target(address, port) != 0) return fail_udp("qxudps_set_search_target");
  if (qxudps_init() != 0) return fail_udp("qxudps_init");
  if (qxudps_search(0, NULL) != 0) return fail_udp("qxudps_search");
  for (polls = 0; polls < kSearchPolls && qxudps_search_finish() != 0; ++polls) sleep_poll();
  if (qxudps_search_finish() != 0) return fail_udp("waiting for the search");
  if (qxudps_count() < 1) return fail_udp("the search found no device; it");
  if (qxudps_record_copy(device) != 0) return fail_udp("qxudps_record_copy");
  qxudps_uninit();
  printf("found %s:%d mac %s\n", device->ip, device->port, device->mac);
  return 0;
}

/* Downloads the setup of the device found and checks that it is that device. */
static int download_setup(const qxudps_device *device) {
  qxxml_settings settings;
  qxxml_setup *setup = NULL;
  qxxml_setup_counts *counts = NULL;
  int slot;
  int status = 0;
  if (qxxml_init() != 0) return fail_xml(0, "qxxml_init");
  qxxml_clr_settings_struct(&settings);
  slot = qxxml_open(device->ip, device->port, &settings, NULL);
  if (slot <= 0 || qxxml_wait_finish(slot, QXXML_FINISH_STARTED, kStartSeconds) != 0) {
    status = fail_xml(0, "qxxml_open");
  } else if (qxxml_get_setup(slot) != 0 || qxxml_wait_finish(slot, QXXML_FINISH_SETUP, kDownloadSeconds) != 0) {
    status = fail_xml(slot, "the setup download");
  } else if (qxxml_get_setup_cache(slot, &setup, &counts) != 0) {
    status = fail_xml(slot, "reading the setup");
  } else if (strcasecmp(setup->Agent_MAC, device->mac) != 0) {
    fprintf(stderr, "search_and_download: the setup names MAC %s, the search found %s\n", setup->Agent_MAC,
            device->mac);
    status = kExitFailure;
  } else {
    printf("setup of \"%s\" with %d sensors\n", setup->Agent_DeviceName, counts->SenSet_count);
  }
  if (slot > 0) qxxml_close(slot);
  qxxml_uninit();
  return status;
}

int main(int argc, char **argv) {
  qxudps_device device;
  char *end = NULL;
  long port;
  if (argc != 3) {
    fprintf(stderr, "usage: search_and_download ADDRESS UDP_PORT\n");
    return kExitUsage;
  }
  port = strtol(argv[2], &end, 10);
  if (*end != '\0' || port < 1 || port > 65535) {
    fprintf(stderr, "search_and_download: bad port %s\n", argv[2]);
    return kExitUsage;
  }
  memset(&device, 0, sizeof device);
  if (search(argv[1], (int)port, &device) != 0) return kExitFailure;
  return download_setup(&device);
}
