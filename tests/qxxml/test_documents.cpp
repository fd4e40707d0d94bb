// The document getter family of a single-device slot: copies of the
// document, the document written to a file, and whole copies of the parsed
// records, each refused after a failed download.
#include <gtest/gtest.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "qxxml/qxxml_private.h"
#include "qxxml_test_support.h"
#include "tools/devsim/devsim.h"

using qxtest::error_code;

namespace {

std::string read_file(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::string temp_path(const char *name) {
  return ::testing::TempDir() + "qxxml_" + std::to_string(getpid()) + "_" + name;
}

bool exists(const std::string &path) { return access(path.c_str(), F_OK) == 0; }

// One kind of document with its members.
struct Kind {
  const char *name;
  int (*request)(int slot);
  int type;
  int (*get_xml)(int slot, char **text, int *length);
  int (*get_copy)(int slot, char *text, int *length);
  int (*to_file)(int slot, const char *file_name);
};

void PrintTo(const Kind &kind, std::ostream *os) { *os << kind.name; }

const Kind kKinds[] = {
    {"values", qxxml_get_values, QXXML_FINISH_VALUES, qxxml_get_values_xml, qxxml_get_values_xml_copy,
     qxxml_get_values_to_file},
    {"setup", qxxml_get_setup, QXXML_FINISH_SETUP, qxxml_get_setup_xml, qxxml_get_setup_xml_copy,
     qxxml_get_setup_to_file},
};

class QxxmlDocumentKind : public qxtest::Library, public ::testing::WithParamInterface<Kind> {
 protected:
  void SetUp() override {
    qxtest::Library::SetUp();
    devsim::DeviceConfig config;
    devsim::Sensor sensor;
    sensor.id = 1;
    sensor.name = "Rack inlet";
    sensor.units = "C";
    sensor.value = 21.5;
    config.sensors.push_back(sensor);
    ASSERT_GT(server.start(config), 0) << server.error();
    path = temp_path(GetParam().name);
    remove(path.c_str());
  }
  void TearDown() override {
    remove(path.c_str());
    qxtest::Library::TearDown();
  }
  devsim::Server server;
  std::string path;
};

TEST_P(QxxmlDocumentKind, FailedDownloadCreatesNoFileAndNoCopy) {
  const Kind &kind = GetParam();
  int slot = qxtest::open_running("127.0.0.1", qxsupport::RefusedPort());
  ASSERT_GT(slot, 0);
  ASSERT_EQ(kind.request(slot), 0);
  ASSERT_EQ(qxxml_wait_finish(slot, kind.type, 20), 0);
  EXPECT_EQ(kind.to_file(slot, path.c_str()), -1);
  EXPECT_FALSE(exists(path));
  std::vector<char> copy(QXXML_DOC_MAX, 'x');
  int length = -7;
  EXPECT_EQ(kind.get_copy(slot, copy.data(), &length), -1);
  EXPECT_EQ(length, -7) << "nothing handed out";
  EXPECT_EQ(error_code(slot), QX_ERR_SOCKET_CONNECT) << "the download's failure stays in the record";
}

TEST_P(QxxmlDocumentKind, FileAndCopyHoldExactlyTheBody) {
  const Kind &kind = GetParam();
  int slot = qxtest::open_running("127.0.0.1", server.port());
  ASSERT_GT(slot, 0);
  ASSERT_EQ(kind.request(slot), 0);
  ASSERT_EQ(qxxml_wait_finish(slot, kind.type, 20), 0);
  char *text = nullptr;
  int length = 0;
  ASSERT_EQ(kind.get_xml(slot, &text, &length), 0) << error_code(slot);
  std::string body(text, length);
  EXPECT_EQ(body.rfind("<?xml", 0), 0u);

  ASSERT_EQ(kind.to_file(slot, path.c_str()), 0) << error_code(slot);
  EXPECT_EQ(read_file(path), body);

  std::vector<char> copy(QXXML_DOC_MAX, 'x');
  int copied = 0;
  ASSERT_EQ(kind.get_copy(slot, copy.data(), &copied), 0);
  EXPECT_EQ(copied, length);
  EXPECT_EQ(std::string(copy.data(), copied), body);
  EXPECT_EQ(copy[copied], '\0');
}

INSTANTIATE_TEST_SUITE_P(Kinds, QxxmlDocumentKind, ::testing::ValuesIn(kKinds),
                         [](const ::testing::TestParamInfo<Kind> &info) { return std::string(info.param.name); });

// A file that cannot be written, and the code it gives.
struct FileFault {
  const char *name;
  std::string path;
  int code;
};

void PrintTo(const FileFault &row, std::ostream *os) { *os << row.name; }

class QxxmlFileFault : public qxtest::Library, public ::testing::WithParamInterface<FileFault> {};

TEST_P(QxxmlFileFault, IsRecordedOnTheSlot) {
  const char document[] = "<?xml version=\"1.0\"?>\n<Root><Agent><Model>36</Model></Agent></Root>";
  int slot = qxtest::open_running("127.0.0.1", 80);
  ASSERT_GT(slot, 0);
  ASSERT_EQ(qxxml_load_values(slot, document, (int)strlen(document)), 0);
  ASSERT_EQ(qxxml_wait_finish(slot, QXXML_FINISH_LOAD_VALUES, 20), 0);
  EXPECT_EQ(qxxml_get_values_to_file(slot, GetParam().path.c_str()), -1);
  qx_error_record record;
  qxxml_error(slot, &record);
  EXPECT_EQ(record.code, GetParam().code);
  EXPECT_NE(record.sys_errno, 0) << "the system's reason is kept";
}

INSTANTIATE_TEST_SUITE_P(Rows, QxxmlFileFault,
                         ::testing::Values(FileFault{"missing_directory", "/nonexistent.invalid/document.xml",
                                                     QX_ERR_FILE_OPEN},
                                           FileFault{"a_directory", "/", QX_ERR_FILE_OPEN},
                                           FileFault{"full_device", "/dev/full", QX_ERR_FILE_WRITE}),
                         [](const ::testing::TestParamInfo<FileFault> &info) { return std::string(info.param.name); });

std::string fixture(const char *name) { return read_file(std::string(QX_FIXTURES) + "/" + name); }

class QxxmlRecordCopy : public qxtest::Library {};

TEST_F(QxxmlRecordCopy, SetupCacheCopyCopiesTheWholeRecordAndAllNineCounts) {
  int slot = qxtest::open_running("127.0.0.1", 80);
  ASSERT_GT(slot, 0);
  std::string document = fixture("setup_full.xml");
  ASSERT_EQ(qxxml_load_setup(slot, document.c_str(), (int)document.size()), 0);
  ASSERT_EQ(qxxml_wait_finish(slot, QXXML_FINISH_LOAD_SETUP, 20), 0);
  qxxml_setup *live = nullptr;
  qxxml_setup_counts *live_counts = nullptr;
  ASSERT_EQ(qxxml_get_setup_cache(slot, &live, &live_counts), 0) << error_code(slot);

  // Filled with a pattern, so that any byte not copied shows.
  auto copy = std::make_unique<qxxml_setup>();
  qxxml_setup_counts counts;
  memset(copy.get(), 0xA5, sizeof *copy);
  memset(&counts, 0xA5, sizeof counts);
  ASSERT_EQ(qxxml_get_setup_cache_copy(slot, copy.get(), &counts), 0);
  EXPECT_EQ(memcmp(copy.get(), live, sizeof *copy), 0);
  static_assert(sizeof(qxxml_setup_counts) == 9 * sizeof(int), "nine lists");
  const int *count = &counts.BinaryInSet_count;
  const int *live_count = &live_counts->BinaryInSet_count;
  for (int i = 0; i < 9; i++) {
    EXPECT_EQ(count[i], live_count[i]) << "count " << i;
    EXPECT_GT(count[i], 0) << "count " << i << ": the document lists entries in every list";
  }
  EXPECT_EQ(copy->timestamp, live->timestamp);
}

TEST_F(QxxmlRecordCopy, ValuesCacheCopyIsRefusedBeforeAnyDocument) {
  int slot = qxtest::open_running("127.0.0.1", 80);
  ASSERT_GT(slot, 0);
  qxxml_values record;
  qxxml_values_counts counts;
  EXPECT_EQ(qxxml_get_values_cache_copy(slot, &record, &counts), -1);
  EXPECT_EQ(error_code(slot), QX_ERR_ACTION_NOT_FINISH);
  EXPECT_EQ(qxxml_get_values_to_file(QXXML_ID_COUNT_MAX, "never.xml"), -1);
  EXPECT_EQ(error_code(0), QX_ERR_ID_TOO_LARGE);
}

}  // namespace
