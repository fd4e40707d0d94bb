// Downloads from simulated devices over HTTP/1.0: statuses, body limits,
// authentication, connection failures, stalls and the simulator's faults.
#include <gtest/gtest.h>
#include <signal.h>
#include <stdio.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <string>

#include "qxxml/qxxml_private.h"
#include "qxxml_test_support.h"
#include "tools/devsim/devsim.h"

using qxsupport::Eventually;
using qxtest::error_code;
using qxtest::kWorkerBound;

namespace {

devsim::DeviceConfig two_sensor_device() {
  devsim::DeviceConfig config;
  config.device_name = "Bench device";
  devsim::Sensor boiler;
  boiler.id = 1;
  boiler.name = "Boiler";
  boiler.units = "C";
  boiler.value = 22.5;
  devsim::Sensor store = boiler;
  store.id = 2;
  store.name = "Store";
  store.value = 18.0;
  config.sensors = {boiler, store};
  return config;
}

// The setup document a device of this configuration serves.
std::string setup_document_of(const devsim::DeviceConfig &config) {
  devsim::Server probe;
  probe.start(config);
  return probe.setup_document();
}

struct Events {
  std::atomic<int> connected{0};
  std::atomic<int> connect_failed{0};
  std::atomic<int> setup_calls{0};
  std::atomic<int> values_calls{0};
};

qxxml_settings settings_with_events() {
  qxxml_settings settings;
  qxxml_clr_settings_struct(&settings);
  settings.callbacks.connected = [](int, void *owner, int) { static_cast<Events *>(owner)->connected++; };
  settings.callbacks.connect_failed = [](int, void *owner, int, qx_error_record *) {
    static_cast<Events *>(owner)->connect_failed++;
  };
  settings.callbacks.setup_done = [](int, void *owner, int, qxxml_setup *, qxxml_setup_counts *) {
    static_cast<Events *>(owner)->setup_calls++;
  };
  settings.callbacks.values_done = [](int, void *owner, int, qxxml_values *, qxxml_values_counts *) {
    static_cast<Events *>(owner)->values_calls++;
  };
  return settings;
}

class QxxmlHttp : public qxtest::Library {
 protected:
  void start(const devsim::DeviceConfig &config) { ASSERT_GT(server.start(config), 0) << server.error(); }
  int open(const char *user = "", const char *password = "") {
    qxxml_settings settings = settings_with_events();
    snprintf(settings.get_user, sizeof settings.get_user, "%s", user);
    snprintf(settings.get_password, sizeof settings.get_password, "%s", password);
    return qxtest::open_running("127.0.0.1", server.port(), &settings, &events);
  }
  // Downloads the setup and returns the request's result: the slot's error code.
  int download_setup(int slot) {
    EXPECT_EQ(qxxml_get_setup(slot), 0);
    EXPECT_EQ(qxxml_wait_finish(slot, QXXML_FINISH_SETUP, 20), 0);
    return error_code(slot);
  }
  int download_values(int slot) {
    EXPECT_EQ(qxxml_get_values(slot), 0);
    EXPECT_EQ(qxxml_wait_finish(slot, QXXML_FINISH_VALUES, 20), 0);
    return error_code(slot);
  }
  devsim::Server server;
  Events events;
};

TEST_F(QxxmlHttp, SetupDownloadFillsTheRecordAndReportsTheConnect) {
  start(two_sensor_device());
  int slot = open();
  int before = static_cast<int>(time(nullptr));
  EXPECT_EQ(download_setup(slot), QX_ERR_NONE);
  qxxml_setup *setup;
  qxxml_setup_counts *counts;
  ASSERT_EQ(qxxml_get_setup_cache(slot, &setup, &counts), 0);
  EXPECT_GE(setup->timestamp, before) << "stamped as the download completed";
  EXPECT_LE(setup->timestamp, static_cast<int>(time(nullptr)));
  EXPECT_EQ(counts->SenSet_count, 2);
  EXPECT_STREQ(setup->SenSet_Entry_Name[1], "Store");
  EXPECT_STREQ(setup->Agent_DeviceName, "Bench device");
  EXPECT_EQ(events.connected, 1);
  EXPECT_TRUE(Eventually([&] { return events.setup_calls == 1; }, kWorkerBound));
  char ip[16];
  int port;
  ASSERT_EQ(qxxml_get_module(slot, ip, &port), 0);
  EXPECT_STREQ(ip, "127.0.0.1");
  EXPECT_EQ(port, server.port());
  ASSERT_TRUE(server.last_post() == std::nullopt);
  EXPECT_EQ(server.requests().back().head, "GET /setup.xml HTTP/1.0") << "no other header is sent";
}

TEST_F(QxxmlHttp, ValuesDownloadFillsTheValuesRecord) {
  start(two_sensor_device());
  int slot = open();
  ASSERT_EQ(download_values(slot), QX_ERR_NONE);
  qxxml_values *values;
  qxxml_values_counts *counts;
  ASSERT_EQ(qxxml_get_values_cache(slot, &values, &counts), 0);
  EXPECT_EQ(counts->SenSet_count, 2);
  EXPECT_STREQ(values->SenSet_Entry_ID[0], "1");
  EXPECT_EQ(server.requests().back().head, "GET /values.xml HTTP/1.0");
  EXPECT_TRUE(Eventually([&] { return events.values_calls == 1; }, kWorkerBound));
}

TEST_F(QxxmlHttp, MeterModelValuesBecomeSensorEntries) {
  start(*devsim::variant("meter-57"));
  int slot = open();
  ASSERT_EQ(download_values(slot), QX_ERR_NONE);
  qxxml_values *values;
  qxxml_values_counts *counts;
  ASSERT_EQ(qxxml_get_values_cache(slot, &values, &counts), 0);
  const devsim::DeviceConfig config = server.config();
  ASSERT_EQ(counts->SenSet_count, static_cast<int>(config.sensors.size())) << "one entry per Val";
  EXPECT_EQ(std::string(values->SenSet_Entry_Name[0]).find(config.sensors[0].meter + "."), 0u)
      << values->SenSet_Entry_Name[0];
  EXPECT_STREQ(values->SenSet_Entry_Calib[0], "0");
  EXPECT_EQ(counts->BinaryInSet_count, static_cast<int>(config.inputs.size()));
}

TEST_F(QxxmlHttp, CredentialsGoIntoABasicAuthorizationLine) {
  struct Row {
    const char *user, *password, *expected;
  } rows[] = {
      {"admin", "secret", "Basic YWRtaW46c2VjcmV0"},
      {"user", "", "Basic dXNlcjo="},  // an empty password still sends "user:"
  };
  for (const Row &row : rows) {
    devsim::DeviceConfig config = two_sensor_device();
    config.user = row.user;
    config.password = row.password;
    devsim::Server device;
    ASSERT_GT(device.start(config), 0);
    qxxml_settings settings;
    qxxml_clr_settings_struct(&settings);
    snprintf(settings.get_user, sizeof settings.get_user, "%s", row.user);
    snprintf(settings.get_password, sizeof settings.get_password, "%s", row.password);
    int slot = qxtest::open_running("127.0.0.1", device.port(), &settings);
    ASSERT_EQ(qxxml_get_setup(slot), 0);
    ASSERT_EQ(qxxml_wait_finish(slot, QXXML_FINISH_SETUP, 20), 0);
    EXPECT_EQ(error_code(slot), QX_ERR_NONE) << row.user;
    EXPECT_EQ(device.requests().back().header("Authorization"), row.expected);
    qxxml_close(slot);
  }
}

TEST_F(QxxmlHttp, LongestCredentialsAreSentWhole) {
  std::string user(99, 'u'), password(99, 'p');
  devsim::DeviceConfig config = two_sensor_device();
  config.user = user;
  config.password = password;
  start(config);
  int slot = open(user.c_str(), password.c_str());
  EXPECT_EQ(download_setup(slot), QX_ERR_NONE) << "the device accepted the credentials";
}

TEST_F(QxxmlHttp, MissingOrWrongCredentialsFailAsUnauthorized) {
  devsim::DeviceConfig config = two_sensor_device();
  config.user = "admin";
  config.password = "admin";
  start(config);
  int slot = open("admin", "wrong");
  EXPECT_EQ(download_setup(slot), QX_ERR_HTTP_401);
  char *text;
  int length;
  EXPECT_EQ(qxxml_get_setup_xml(slot, &text, &length), -1) << "the getter refuses a failed download";
  EXPECT_EQ(error_code(slot), QX_ERR_HTTP_401) << "and leaves its cause in the record";
}

struct FaultRow {
  const char *name;
  const char *fault;
  int code;         // slot's code after the download
  int getter_code;  // code recorded by qxxml_get_setup_xml afterwards (QX_ERR_NONE: it succeeds)
};

void PrintTo(const FaultRow &row, std::ostream *out) { *out << row.fault; }

class QxxmlHttpFaults : public QxxmlHttp, public ::testing::WithParamInterface<FaultRow> {};

TEST_P(QxxmlHttpFaults, GiveAClearCode) {
  const FaultRow &row = GetParam();
  devsim::DeviceConfig config = two_sensor_device();
  auto fault = devsim::parse_fault(row.fault);
  ASSERT_TRUE(fault) << row.fault;
  config.faults = {*fault};
  start(config);
  int slot = open();
  EXPECT_EQ(download_setup(slot), row.code) << row.fault;
  char *text;
  int length;
  int r = qxxml_get_setup_xml(slot, &text, &length);
  if (row.getter_code == QX_ERR_NONE) {
    EXPECT_EQ(r, 0) << row.fault;
  } else {
    EXPECT_EQ(r, -1) << row.fault;
    EXPECT_EQ(error_code(slot), row.getter_code) << row.fault;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Table, QxxmlHttpFaults,
    ::testing::Values(FaultRow{"Status401", "status:401", QX_ERR_HTTP_401, QX_ERR_HTTP_401},
                      FaultRow{"Status404", "status:404", QX_ERR_HTTP_404, QX_ERR_HTTP_404},
                      FaultRow{"Status417", "status:417", QX_ERR_HTTP_417, QX_ERR_HTTP_417},
                      FaultRow{"Status500", "status:500", QX_ERR_HTTP_500, QX_ERR_HTTP_500},
                      FaultRow{"Status505", "status:505", QX_ERR_HTTP_505, QX_ERR_HTTP_505},
                      FaultRow{"Status200", "status:200", QX_ERR_NONE, QX_ERR_NONE},
                      FaultRow{"Status302", "status:302", QX_ERR_NONE, QX_ERR_NONE},
                      FaultRow{"Status418", "status:418", QX_ERR_NONE, QX_ERR_NONE},
                      FaultRow{"Body19999", "body-size:19999", QX_ERR_NONE, QX_ERR_NONE},
                      FaultRow{"Body20000", "body-size:20000", QX_ERR_FILE_TOO_LARGE, QX_ERR_FILE_TOO_LARGE},
                      FaultRow{"Drip", "drip:1", QX_ERR_NONE, QX_ERR_NONE},
                      FaultRow{"SplitHeader", "split-header:5", QX_ERR_NONE, QX_ERR_NONE},
                      FaultRow{"HeaderOver1024Bytes", "long-header:1500", QX_ERR_NONE, QX_ERR_NONE},
                      FaultRow{"CloseInHeader", "close-in-header", QX_ERR_HTTP_NOT_FOUND, QX_ERR_HTTP_NOT_FOUND},
                      FaultRow{"ShorterThanStatusLine", "short-status:8", QX_ERR_HTTP_NOT_FOUND, QX_ERR_HTTP_NOT_FOUND},
                      FaultRow{"TruncatedXml", "truncate:300", QX_ERR_NONE, QX_ERR_NONE},
                      FaultRow{"NoDeclaration", "no-declaration", QX_ERR_NONE, QX_ERR_FILE_NOT_VALID},
                      FaultRow{"Garbage", "garbage", QX_ERR_HTTP_NOT_FOUND, QX_ERR_HTTP_NOT_FOUND},
                      FaultRow{"GarbageBody", "garbage-body", QX_ERR_NONE, QX_ERR_FILE_NOT_VALID},
                      FaultRow{"NotListening", "not-listening", QX_ERR_SOCKET_CONNECT, QX_ERR_SOCKET_CONNECT}),
    [](const ::testing::TestParamInfo<FaultRow> &info) { return std::string(info.param.name); });

// What a failed download leaves in the slot's record besides its code: the
// error number of the system call that failed, or nothing when none did.
struct RecordRow {
  const char *name;
  const char *host;   // null: the simulated device
  const char *fault;  // the device's fault, "" for none
  bool hook_refuses;  // a pre-parse hook refuses the document
  int code;
  int sys_errno;  // 0: no system call failed, sys_text stays empty
};

void PrintTo(const RecordRow &row, std::ostream *out) { *out << row.name; }

class QxxmlHttpRecords : public QxxmlHttp, public ::testing::WithParamInterface<RecordRow> {};

TEST_P(QxxmlHttpRecords, SystemFieldsComeFromTheFailedCallOrStayEmpty) {
  const RecordRow &row = GetParam();
  devsim::DeviceConfig config = two_sensor_device();
  if (row.fault[0] != '\0') config.faults = {*devsim::parse_fault(row.fault)};
  start(config);
  qxxml_settings settings = settings_with_events();
  if (row.hook_refuses) settings.callbacks.pre_parse_hook = [](int, void *, char *, int, int) { return 1; };
  int slot = qxtest::open_running(row.host ? row.host : "127.0.0.1", server.port(), &settings, &events);
  ASSERT_EQ(download_values(slot), row.code);
  qx_error_record record;
  ASSERT_EQ(qxxml_error(slot, &record), 0);
  EXPECT_STREQ(record.text, qx_error_message(row.code));
  EXPECT_EQ(record.sys_errno, row.sys_errno) << record.sys_text;
  EXPECT_STREQ(record.sys_text, row.sys_errno != 0 ? strerror(row.sys_errno) : "");
}

INSTANTIATE_TEST_SUITE_P(
    Table, QxxmlHttpRecords,
    ::testing::Values(RecordRow{"RefusedConnect", nullptr, "not-listening", false, QX_ERR_SOCKET_CONNECT, ECONNREFUSED},
                      RecordRow{"UnresolvableName", "no-such-device.invalid", "", false, QX_ERR_RESOLVE, 0},
                      RecordRow{"Status401", nullptr, "status:401", false, QX_ERR_HTTP_401, 0},
                      RecordRow{"Status500", nullptr, "status:500", false, QX_ERR_HTTP_500, 0},
                      RecordRow{"NoHttpReply", nullptr, "garbage", false, QX_ERR_HTTP_NOT_FOUND, 0},
                      RecordRow{"BodyTooLarge", nullptr, "body-size:20000@values", false, QX_ERR_FILE_TOO_LARGE, 0},
                      RecordRow{"XmlNotValid", nullptr, "", true, QX_ERR_XML_NOT_VALID, 0}),
    [](const ::testing::TestParamInfo<RecordRow> &info) { return std::string(info.param.name); });

// Transactions against a device that drips its reply one byte every 200 ms,
// far too slowly to finish and never silent long enough for the silence rule.
// The deadline is shortened for the test; it works the same at 30 s.
constexpr int kShortDeadlineMs = 2000;
// Bound of the wait for the failed transaction: well past the short
// deadline, far short of what the drip takes to deliver a document.
constexpr int kDeadlineWaitSeconds = 10;

struct DeadlineRow {
  const char *name;
  const char *fault;
  int (*request)(int slot);
  int finish_type;
};

void PrintTo(const DeadlineRow &row, std::ostream *out) { *out << row.name; }

const char kCalibrationPost[] = "<Root><SenSet><Entry><ID>2</ID><Calib>-1.5</Calib></Entry></SenSet></Root>";

class QxxmlHttpDeadline : public QxxmlHttp, public ::testing::WithParamInterface<DeadlineRow> {
 protected:
  void SetUp() override {
    QxxmlHttp::SetUp();
    previous_limit_ = qxxml_set_transaction_limit_ms(kShortDeadlineMs);
  }
  void TearDown() override {
    qxxml_set_transaction_limit_ms(previous_limit_);
    QxxmlHttp::TearDown();
  }
  int previous_limit_ = 0;
};

TEST_P(QxxmlHttpDeadline, TransactionThatDripsForeverEndsAtItsDeadline) {
  const DeadlineRow &row = GetParam();
  devsim::DeviceConfig config = two_sensor_device();
  config.faults = {*devsim::parse_fault(row.fault)};
  start(config);
  int slot = open();
  ASSERT_EQ(row.request(slot), 0) << error_code(slot);
  ASSERT_EQ(qxxml_wait_finish(slot, row.finish_type, kDeadlineWaitSeconds), 0) << "the transaction never ended";
  qx_error_record record;
  ASSERT_EQ(qxxml_error(slot, &record), 0);
  EXPECT_EQ(record.code, QX_ERR_TIMEOUT);
  EXPECT_STREQ(record.text, "Timeout");
  EXPECT_EQ(record.sys_errno, 0) << "a time-out of the library's own";
  EXPECT_STREQ(record.sys_text, "");
}

INSTANTIATE_TEST_SUITE_P(
    Table, QxxmlHttpDeadline,
    ::testing::Values(DeadlineRow{"ValuesDownload", "drip:200@values", qxxml_get_values, QXXML_FINISH_VALUES},
                      DeadlineRow{"SetupDownload", "drip:200@setup", qxxml_get_setup, QXXML_FINISH_SETUP},
                      DeadlineRow{"Post", "drip:200@post",
                                  [](int slot) {
                                    return qxxml_send_setup_xml(slot, kCalibrationPost, sizeof kCalibrationPost - 1);
                                  },
                                  QXXML_FINISH_POST}),
    [](const ::testing::TestParamInfo<DeadlineRow> &info) { return std::string(info.param.name); });

TEST_F(QxxmlHttp, BlankLineInsideTheBodySurvives) {
  devsim::DeviceConfig config = two_sensor_device();
  config.faults = {*devsim::parse_fault("blank-line")};
  start(config);
  int slot = open();
  ASSERT_EQ(download_setup(slot), QX_ERR_NONE);
  char *text;
  int length;
  ASSERT_EQ(qxxml_get_setup_xml(slot, &text, &length), 0);
  std::string body(text, length);
  EXPECT_NE(body.find("\r\n\r\n"), std::string::npos);
  EXPECT_EQ(body.rfind("<?xml", 0), 0u) << "the body starts with the document, no header bytes";
}

TEST_F(QxxmlHttp, TruncatedDocumentKeepsWhatCameBeforeTheCut) {
  devsim::DeviceConfig config = two_sensor_device();
  size_t cut = setup_document_of(config).find("<Name>Store");
  ASSERT_NE(cut, std::string::npos);
  config.faults = {*devsim::parse_fault("truncate:" + std::to_string(cut))};
  start(config);
  int slot = open();
  ASSERT_EQ(download_setup(slot), QX_ERR_NONE);
  qxxml_setup *setup;
  qxxml_setup_counts *counts;
  ASSERT_EQ(qxxml_get_setup_cache(slot, &setup, &counts), 0);
  EXPECT_STREQ(setup->SenSet_Entry_Name[0], "Boiler");
  EXPECT_STREQ(setup->SenSet_Entry_Name[1], "");
}

TEST_F(QxxmlHttp, RefusedConnectionCallsConnectFailed) {
  qxxml_settings settings = settings_with_events();
  int slot = qxtest::open_running("127.0.0.1", qxsupport::RefusedPort(), &settings, &events);
  EXPECT_EQ(download_values(slot), QX_ERR_SOCKET_CONNECT);
  EXPECT_EQ(events.connect_failed, 1);
  EXPECT_EQ(events.connected, 0);
}

TEST_F(QxxmlHttp, UnresolvableNameRecordsResolveFailure) {
  qxxml_settings settings = settings_with_events();
  int slot = qxtest::open_running("no-such-device.invalid", 80, &settings, &events);
  EXPECT_EQ(download_values(slot), QX_ERR_RESOLVE);
  EXPECT_EQ(events.connect_failed, 1);
  char ip[16] = "x";
  int port;
  ASSERT_EQ(qxxml_get_module(slot, ip, &port), 0);
  EXPECT_STREQ(ip, "") << "the address buffer is emptied";
}

TEST_F(QxxmlHttp, ConnectAtOpenReportsReachability) {
  start(two_sensor_device());
  qxxml_settings settings = settings_with_events();
  settings.connect_at_open = 1;
  int slot = qxtest::open_running("127.0.0.1", server.port(), &settings, &events);
  ASSERT_GT(slot, 0);
  EXPECT_EQ(events.connected, 1);
  int refused = qxtest::open_running("127.0.0.1", qxsupport::RefusedPort(), &settings, &events);
  ASSERT_GT(refused, 0) << "a failed connect does not stop the start";
  EXPECT_EQ(events.connect_failed, 1);
}

TEST_F(QxxmlHttp, StalledDeviceEndsTheDownloadTenSecondsAfterItsLastByte) {
  devsim::DeviceConfig config = two_sensor_device();
  // Stall right after the first sensor entry.
  size_t body_cut = setup_document_of(config).find("<Name>Store");
  ASSERT_NE(body_cut, std::string::npos);
  config.faults = {*devsim::parse_fault("stall:" + std::to_string(body_cut) + "@setup")};
  start(config);
  int slot = open();
  auto begin = std::chrono::steady_clock::now();
  ASSERT_EQ(qxxml_get_setup(slot), 0);
  ASSERT_EQ(qxxml_wait_finish(slot, QXXML_FINISH_SETUP, 20), 0);
  auto took = std::chrono::steady_clock::now() - begin;
  EXPECT_GE(took, std::chrono::seconds(9));
  EXPECT_LE(took, std::chrono::seconds(13));
  EXPECT_EQ(error_code(slot), QX_ERR_NONE);
  qxxml_setup *setup;
  qxxml_setup_counts *counts;
  ASSERT_EQ(qxxml_get_setup_cache(slot, &setup, &counts), 0);
  EXPECT_STREQ(setup->SenSet_Entry_Name[0], "Boiler") << "what came before the stall was parsed";
}

// A close must not hold the caller (the UI thread) while the worker waits
// on a silent device. The bound is far above the worker's 50 ms poll slice
// and far below the one-second wait a close once had to sit out.
TEST_F(QxxmlHttp, CloseDuringStalledDownloadReturnsPromptly) {
  devsim::DeviceConfig config = two_sensor_device();
  config.faults = {*devsim::parse_fault("stall:40")};
  start(config);
  int slot = open();
  ASSERT_EQ(qxxml_get_setup(slot), 0);
  ASSERT_TRUE(Eventually([&] { return server.request_count() == 1; }, kWorkerBound));
  auto begin = std::chrono::steady_clock::now();
  EXPECT_EQ(qxxml_close(slot), 0);
  auto took = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - begin);
  EXPECT_LT(took.count(), 300) << "ms in qxxml_close";
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_EQ(events.setup_calls, 0) << "the abandoned transaction delivers nothing";
}

TEST_F(QxxmlHttp, RequestWhileAWakeUpIsPendingIsAcceptedButRecordsTheDroppedWakeUp) {
  devsim::DeviceConfig config = two_sensor_device();
  config.faults = {*devsim::parse_fault("stall:40@values")};
  start(config);
  int slot = open();
  ASSERT_EQ(qxxml_get_values(slot), 0);
  ASSERT_TRUE(Eventually([&] { return server.request_count() == 1; }, kWorkerBound))
      << "the worker is inside the download";
  EXPECT_EQ(qxxml_get_setup(slot), 0) << "takes the one pending wake-up";
  const char loaded[] = "<?xml version=\"1.0\"?><Root/>";
  EXPECT_EQ(qxxml_load_setup(slot, loaded, sizeof loaded - 1), 0) << "the request itself is accepted";
  EXPECT_EQ(error_code(slot), QX_ERR_SEM_POST) << "but its wake-up was dropped";
  EXPECT_EQ(qxxml_close(slot), 0);
}

// A web server this project did not write: Python's http.server, serving
// fixture documents from a folder.
class PlainWebServer {
 public:
  explicit PlainWebServer(const std::string &folder) {
    int out[2];
    if (pipe(out) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      dup2(out[1], 1);
      dup2(out[1], 2);
      close(out[0]);
      execlp("python3", "python3", "-u", "-m", "http.server", "0", "--bind", "127.0.0.1", "--directory", folder.c_str(),
             (char *)nullptr);
      _exit(127);
    }
    close(out[1]);
    stream_ = fdopen(out[0], "r");
    char line[256];
    // "Serving HTTP on 127.0.0.1 port 43210 (http://127.0.0.1:43210/) ..."
    while (stream_ && fgets(line, sizeof line, stream_))
      if (sscanf(line, "Serving HTTP on %*s port %d", &port_) == 1) break;
  }
  ~PlainWebServer() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
    }
    if (stream_) fclose(stream_);
  }
  int port() const { return port_; }

 private:
  pid_t pid_ = -1;
  FILE *stream_ = nullptr;
  int port_ = 0;
};

TEST_F(QxxmlHttp, DownloadsFromAPlainWebServer) {
  if (system("python3 -c 'import http.server' 2>/dev/null") != 0) GTEST_SKIP() << "python3 missing";
  PlainWebServer web(std::string(QX_FIXTURES) + "/http");
  ASSERT_GT(web.port(), 0);
  int slot = qxtest::open_running("127.0.0.1", web.port());
  ASSERT_EQ(download_values(slot), QX_ERR_NONE);
  qxxml_values *values;
  qxxml_values_counts *values_counts;
  ASSERT_EQ(qxxml_get_values_cache(slot, &values, &values_counts), 0) << error_code(slot);
  EXPECT_EQ(values_counts->SenSet_count, 2);
  EXPECT_STREQ(values->SenSet_Entry_Units[1], "%RH");
  ASSERT_EQ(qxxml_get_setup(slot), 0);
  ASSERT_EQ(qxxml_wait_finish(slot, QXXML_FINISH_SETUP, 20), 0);
  qxxml_setup *setup;
  qxxml_setup_counts *setup_counts;
  ASSERT_EQ(qxxml_get_setup_cache(slot, &setup, &setup_counts), 0) << error_code(slot);
  EXPECT_STREQ(setup->SenSet_Entry_Calib[0], "-0.5");
}

}  // namespace
