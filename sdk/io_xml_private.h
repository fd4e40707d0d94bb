// Internal parts of the XML I/O object shared by its source files: the
// family, its messages and payloads, the settings and the posted documents.
#ifndef SDK_IO_XML_PRIVATE_H
#define SDK_IO_XML_PRIVATE_H

#include <cstdint>
#include <string>

#include "qxxml/qxxml.h"
#include "sdk/io_xml.h"
#include "sdk/sdk_message_target_private.h"

namespace zelvoapi {

// The XML family: window class "TIoXmlWndClass", messages 1024..1028.
TSdkFamily &IoXmlFamily();

enum : unsigned {
  IOXML_MSG_STATUS = SDK_WM_USER,          // int32_t state
  IOXML_MSG_VALUES = SDK_WM_USER + 1,      // TIoXmlValuesPayload
  IOXML_MSG_SETUP = SDK_WM_USER + 2,       // TIoXmlSetupPayload
  IOXML_MSG_SETUP_SENT = SDK_WM_USER + 3,  // TIoXmlSetupPayload
  IOXML_MSG_ERROR = SDK_WM_USER + 4,       // TIoXmlErrorPayload
};
constexpr unsigned IOXML_LAST_MESSAGE_OFFSET = 4;

// Payloads: raw copies only, malloc'ed by the worker, freed by the dispatch.
// A payload that points into the slot's records carries their generation
// when it was built; the dispatch drops it once they have another.
// Quality is a copy taken on the worker as the action completed: the slot's
// own may change with the next action before the event is raised.
struct TIoXmlValuesPayload {
  const qxxml_values *Values;
  const qxxml_values_counts *Counts;
  char Host[16];
  int32_t Port;
  uint32_t Generation;
  qxxml_doc_quality Quality;
};

struct TIoXmlSetupPayload {
  const qxxml_setup *Setup;
  const qxxml_setup_counts *Counts;
  char Host[16];
  int32_t Port;
  int32_t Action;
  uint32_t Generation;
  qxxml_doc_quality Quality;
};

struct TIoXmlErrorPayload {
  int32_t Operation;  // its low 8 bits become the event's Operation
  qx_error_record Error;
};

// The settings of the main slot: both credential pairs (each cut to 99
// characters), the four completion callbacks, and the parse hooks the
// object enables.
void BuildOpenSettings(const TIoXmlCustom &object, qxxml_settings &settings);
// The settings of an index lookup's temporary slot: only values_done.
void BuildLookupSettings(qxxml_settings &settings);

// Posted documents. Numbers use "." whatever the locale; names are escaped
// ("&", "<", ">", '"'), so that the device reads back the name as given.
// `idx` adds "<Idx>index</Idx>" to the entry.
std::string OutputDocument(bool idx, uint32_t id, uint32_t value);
std::string RangeDocument(bool idx, uint32_t index, uint32_t id, double min, double max);
std::string SensorNameDocument(bool idx, uint32_t index, uint32_t id, const std::string &name);
std::string BinaryNameDocument(bool idx, const char *list, uint32_t index, uint32_t id, const std::string &name);
std::string CalibrationDocument(bool idx, uint32_t index, uint32_t id, double calibration);

// Binary inputs are IDs 1..64 and binary outputs 151..214; every other ID
// names a sensor.
constexpr uint32_t IOXML_BINARY_IN_LAST_ID = 64;
constexpr uint32_t IOXML_BINARY_OUT_FIRST_ID = 151;
constexpr uint32_t IOXML_BINARY_OUT_LAST_ID = 214;
// A binary output's index in its list is its ID less this.
constexpr uint32_t IOXML_BINARY_OUT_INDEX_BASE = IOXML_BINARY_OUT_FIRST_ID - 1;

// The slot whose error record holds the library-wide failures, such as a
// refused open.
constexpr int IOXML_LIBRARY_SLOT = 0;

// Open and Close have no request state of their own; their error events
// carry the numbers of xaClosed and xaIdle as Operation.
constexpr uint8_t IOXML_OPEN_OPERATION = xaClosed;
constexpr uint8_t IOXML_CLOSE_OPERATION = xaIdle;

}  // namespace zelvoapi

#endif
