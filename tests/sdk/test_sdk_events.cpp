// The event machinery: handlers and slots, posting from worker threads to
// the family's hidden target and dispatch on this (the UI) thread.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QPointer>
#include <QThread>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <new>
#include <set>
#include <thread>
#include <vector>

#include "sdk/sdk_message_target_private.h"
#include "sdk/sdk_object.h"

namespace zelvoapi {
namespace {

// ---------------------------------------------------------------------------
// Payload release counting.

std::mutex g_freed_mutex;
std::map<void *, int> g_freed;  // payload -> times released

void CountingFree(void *payload) {
  {
    std::lock_guard<std::mutex> lock(g_freed_mutex);
    ++g_freed[payload];
  }
  std::free(payload);
}

int TimesFreed(void *payload) {
  std::lock_guard<std::mutex> lock(g_freed_mutex);
  auto found = g_freed.find(payload);
  return found == g_freed.end() ? 0 : found->second;
}

int TotalFreed() {
  std::lock_guard<std::mutex> lock(g_freed_mutex);
  int total = 0;
  for (const auto &entry : g_freed) total += entry.second;
  return total;
}

// ---------------------------------------------------------------------------
// A family of test objects built like the real ones: messages 1024..1026.

constexpr unsigned kMsgPing = SDK_WM_USER;       // no payload
constexpr unsigned kMsgValue = SDK_WM_USER + 1;  // TValuePayload
constexpr unsigned kMsgError = SDK_WM_USER + 2;  // qx_error_record
constexpr unsigned kLastOffset = 2;
// The Operation the test family's error events carry.
constexpr uint8_t kErrorOperation = 3;

struct TValuePayload {
  int32_t Worker;
  int32_t Sequence;
};

struct TValueArgs : TEventArgs {
  TValueArgs(TSdkObject *sender, const TValuePayload &payload)
      : TEventArgs(sender), Worker(payload.Worker), Sequence(payload.Sequence) {}
  int32_t Worker;
  int32_t Sequence;
};

int g_library_starts = 0;
int g_library_stops = 0;
int StartLibrary() { return ++g_library_starts, 0; }
int StopLibrary() { return ++g_library_stops, 0; }

void TestDispatch(TSdkObject *object, unsigned message, void *payload);
TSdkFamily &TestFamily();
intptr_t TestWindowProc(TSdkMessageTarget *window, TSdkMessage &message) {
  return TestFamily().WindowProc(window, message);
}

TSdkFamily &TestFamily() {
  static TSdkFamily *family = new TSdkFamily("TTestWndClass", kLastOffset, TestDispatch);
  return *family;
}

// Base part: joins the family (and starts the "library") first, leaves it
// last, like the base classes of the real objects.
class TTestCustom : public TSdkObject {
 public:
  explicit TTestCustom(void *owner) : TSdkObject(owner) { TestFamily().Join(this, StartLibrary); }
  ~TTestCustom() { TestFamily().Leave(this, StopLibrary); }
};

class TTestObject : public TTestCustom {
 public:
  explicit TTestObject(void *owner = nullptr) : TTestCustom(owner) { TestFamily().OpenWindow(Owner, TestWindowProc); }
  // The slots are deleted after this body, before the base part leaves.
  ~TTestObject() { TestFamily().CloseWindow(this); }

  // Posts as a worker-thread adapter does.
  bool PostValue(int32_t worker, int32_t sequence) {
    auto *payload = static_cast<TValuePayload *>(std::malloc(sizeof(TValuePayload)));
    payload->Worker = worker;
    payload->Sequence = sequence;
    return TestFamily().Post(kMsgValue, this, payload);
  }

  TEventSlot OnPing;
  TEventSlot OnValue;
  TEventSlot OnError;
};

void TestDispatch(TSdkObject *object, unsigned message, void *payload) {
  auto *self = static_cast<TTestObject *>(object);
  switch (message) {
    case kMsgPing: RaiseEvent<TSdkSimpleEventArgs>(self->OnPing, self); break;
    case kMsgValue: RaiseEvent<TValueArgs>(self->OnValue, self, *static_cast<TValuePayload *>(payload)); break;
    case kMsgError:
      RaiseEvent<TSdkErrorEventArgs>(self->OnError, self, kErrorOperation, *static_cast<qx_error_record *>(payload), 0);
      break;
  }
}

// Records every event it receives.
class TRecorder {
 public:
  struct TValue {
    TSdkObject *Sender;
    int32_t Worker;
    int32_t Sequence;
    bool OnMainThread;
    int FreedBefore;  // payload releases seen when the handler ran
  };

  void Ping(TSdkSimpleEventArgs &args) { pings.push_back(args.Sender); }
  void Value(TValueArgs &args) {
    values.push_back(
        {args.Sender, args.Worker, args.Sequence, QThread::currentThread() == qApp->thread(), TotalFreed()});
  }
  void Error(TSdkErrorEventArgs &args) { errors.push_back(args); }

  void Attach(TTestObject &object) {
    object.OnPing = std::make_unique<EventHandler<TRecorder, TSdkSimpleEventArgs>>(this, &TRecorder::Ping);
    object.OnValue = std::make_unique<EventHandler<TRecorder, TValueArgs>>(this, &TRecorder::Value);
    object.OnError = std::make_unique<EventHandler<TRecorder, TSdkErrorEventArgs>>(this, &TRecorder::Error);
  }

  std::vector<TSdkObject *> pings;
  std::vector<TValue> values;
  std::vector<TSdkErrorEventArgs> errors;
};

// Counts release of every payload and checks that nothing of the family is
// left over between tests.
class SdkEvents : public ::testing::Test {
 protected:
  void SetUp() override {
    {
      std::lock_guard<std::mutex> lock(g_freed_mutex);
      g_freed.clear();
    }
    SetSdkPayloadFreeHook(CountingFree);
    g_library_starts = g_library_stops = 0;
  }
  void TearDown() override {
    Deliver();
    SetSdkPayloadFreeHook(nullptr);
    EXPECT_EQ(TestFamily().InstanceCount(), 0);
    EXPECT_EQ(TestFamily().Window(), nullptr);
  }
  // Delivers everything posted so far (posts are complete once the posting
  // threads are joined), including deferred deletions.
  static void Deliver() {
    QCoreApplication::sendPostedEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  }
  static void *NewPayload(std::size_t size) { return std::calloc(1, size); }
};

// Starts `workers` threads that each post `per_worker` values numbered from 0.
std::vector<std::thread> PostFromWorkers(TTestObject &object, int workers, int per_worker) {
  std::vector<std::thread> threads;
  for (int w = 0; w < workers; ++w) {
    threads.emplace_back([&object, w, per_worker] {
      for (int i = 0; i < per_worker; ++i) {
        object.PostValue(w, i);
        // Lets the UI thread in between posts where it runs concurrently.
        if (i % 16 == 0) std::this_thread::yield();
      }
    });
  }
  return threads;
}

void Join(std::vector<std::thread> &threads) {
  for (auto &thread : threads) thread.join();
}

// Every value arrived on this thread from `object`, each worker's in the
// order it posted them.
void ExpectEachWorkersOrder(const std::vector<TRecorder::TValue> &values, const TTestObject &object, int workers) {
  std::vector<int> next(workers, 0);
  for (const auto &value : values) {
    EXPECT_TRUE(value.OnMainThread);
    EXPECT_EQ(value.Sender, &object);
    ASSERT_GE(value.Worker, 0);
    ASSERT_LT(value.Worker, workers);
    EXPECT_EQ(value.Sequence, next[value.Worker]++) << "worker " << value.Worker;
  }
}

TEST_F(SdkEvents, WorkerPostsArriveOnUiThreadInPostingOrder) {
  TTestObject object;
  TRecorder recorder;
  recorder.Attach(object);
  const int kWorkers = 3;
  const int kPerWorker = 200;
  std::vector<std::thread> workers = PostFromWorkers(object, kWorkers, kPerWorker);
  Join(workers);
  EXPECT_TRUE(recorder.values.empty()) << "nothing is delivered before the UI thread runs its queue";
  Deliver();

  ASSERT_EQ(recorder.values.size(), static_cast<size_t>(kWorkers * kPerWorker));
  ExpectEachWorkersOrder(recorder.values, object, kWorkers);
  EXPECT_EQ(TotalFreed(), kWorkers * kPerWorker);
}

// Delivery overlapping the posts, as in the program: the UI thread reads each
// event while workers are still building the next ones. Under the thread
// sanitizer this checks that the hand-off orders every event's construction
// before its delivery.
TEST_F(SdkEvents, PostsDeliveredWhileWorkersStillPostKeepTheirOrder) {
  TTestObject object;
  TRecorder recorder;
  recorder.Attach(object);
  const int kWorkers = 2;
  const int kPerWorker = 500;
  const size_t kTotal = static_cast<size_t>(kWorkers * kPerWorker);
  std::vector<std::thread> workers = PostFromWorkers(object, kWorkers, kPerWorker);
  // Runs the queue back to back, without waiting in the event loop, so that
  // nothing but the hand-off itself orders a post before its delivery.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (recorder.values.size() < kTotal && std::chrono::steady_clock::now() < deadline) {
    QCoreApplication::sendPostedEvents();
  }
  Join(workers);

  ASSERT_EQ(recorder.values.size(), kTotal);
  ExpectEachWorkersOrder(recorder.values, object, kWorkers);
  EXPECT_EQ(TotalFreed(), static_cast<int>(kTotal));
}

TEST_F(SdkEvents, PayloadIsReleasedOnceAfterTheHandlerReturns) {
  TTestObject object;
  TRecorder recorder;
  recorder.Attach(object);
  object.PostValue(0, 1);
  Deliver();
  ASSERT_EQ(recorder.values.size(), 1u);
  EXPECT_EQ(recorder.values[0].FreedBefore, 0) << "released before the handler ran";
  EXPECT_EQ(TotalFreed(), 1);
}

TEST_F(SdkEvents, PostedEventWithoutHandlerStillReleasesPayloadOnce) {
  TTestObject object;
  std::vector<void *> payloads;
  for (int i = 0; i < 3; ++i) {
    void *payload = NewPayload(sizeof(qx_error_record));
    payloads.push_back(payload);
    TestFamily().Post(kMsgError, &object, payload);
  }
  Deliver();
  for (void *payload : payloads) EXPECT_EQ(TimesFreed(payload), 1) << payload;
}

TEST_F(SdkEvents, MessageWithoutPayloadReleasesNothing) {
  TTestObject object;
  TRecorder recorder;
  recorder.Attach(object);
  TestFamily().Post(kMsgPing, &object, nullptr);
  Deliver();
  ASSERT_EQ(recorder.pings.size(), 1u);
  EXPECT_EQ(recorder.pings[0], &object);
  EXPECT_EQ(TotalFreed(), 0);
}

TEST_F(SdkEvents, MessagesOutsideFamilyRangeGoToDefaultProcessing) {
  TTestObject object;
  TRecorder recorder;
  recorder.Attach(object);
  const unsigned outside[] = {SDK_WM_USER - 1, SDK_WM_USER + kLastOffset + 1, 0, 0xFFFFFFFFu};
  std::vector<void *> payloads;
  for (unsigned message : outside) {
    void *payload = NewPayload(sizeof(TValuePayload));
    payloads.push_back(payload);
    TestFamily().Post(message, &object, payload);
  }
  Deliver();
  EXPECT_TRUE(recorder.values.empty());
  EXPECT_TRUE(recorder.errors.empty());
  EXPECT_TRUE(recorder.pings.empty());
  for (size_t i = 0; i < payloads.size(); ++i) {
    EXPECT_EQ(TimesFreed(payloads[i]), 1) << "message " << outside[i];
  }
}

TEST_F(SdkEvents, WindowProcedureCalledDirectlyWithOutOfRangeMessage) {
  TTestObject object;
  TRecorder recorder;
  recorder.Attach(object);
  TSdkMessage message;
  message.Message = SDK_WM_USER + kLastOffset + 1;
  message.WParam = reinterpret_cast<uintptr_t>(&object);
  message.Serial = object.Serial();
  message.LParam = NewPayload(sizeof(TValuePayload));
  void *payload = message.LParam;
  EXPECT_EQ(TestWindowProc(TestFamily().Window(), message), 0);
  EXPECT_TRUE(recorder.values.empty());
  EXPECT_EQ(TimesFreed(payload), 1);

  message.Message = kMsgValue;  // in range: dispatched
  message.LParam = NewPayload(sizeof(TValuePayload));
  EXPECT_EQ(TestWindowProc(TestFamily().Window(), message), 0);
  EXPECT_EQ(recorder.values.size(), 1u);
}

TEST_F(SdkEvents, MessageWithoutObjectIsDropped) {
  TTestObject object;
  TRecorder recorder;
  recorder.Attach(object);
  void *payload = NewPayload(sizeof(TValuePayload));
  TestFamily().Post(kMsgValue, nullptr, payload);
  TestFamily().Post(kMsgPing, nullptr, nullptr);
  Deliver();
  EXPECT_TRUE(recorder.values.empty());
  EXPECT_TRUE(recorder.pings.empty());
  EXPECT_EQ(TimesFreed(payload), 1);
}

TEST_F(SdkEvents, ErrorEventCopiesTheRecordFields) {
  TTestObject object;
  TRecorder recorder;
  recorder.Attach(object);
  auto *record = static_cast<qx_error_record *>(NewPayload(sizeof(qx_error_record)));
  record->code = QX_ERR_SOCKET_CONNECT;
  record->sys_errno = ECONNREFUSED;
  std::strcpy(record->text, "Connect failed");
  std::strcpy(record->sys_text, "Connection refused");
  TestFamily().Post(kMsgError, &object, record);
  Deliver();
  ASSERT_EQ(recorder.errors.size(), 1u);
  const TSdkErrorEventArgs &args = recorder.errors[0];
  EXPECT_EQ(args.Sender, &object);
  EXPECT_EQ(args.Operation, kErrorOperation);
  EXPECT_EQ(args.Error.Code, QX_ERR_SOCKET_CONNECT);
  EXPECT_EQ(args.Error.SysCode, ECONNREFUSED);
  EXPECT_EQ(args.Error.Text, "Connect failed");
  EXPECT_EQ(args.Error.SysText, "Connection refused");
  EXPECT_EQ(args.Extra, 0);
}

TEST(SdkErrorArgs, UnterminatedRecordTextsStopAtTheirField) {
  qx_error_record record;
  std::memset(&record, 'a', sizeof record);
  record.code = QX_ERR_RECV;
  record.sys_errno = ECONNRESET;
  TSdkErrorEventArgs args(nullptr, 0xFF, record, 0);
  EXPECT_EQ(args.Error.Text, std::string(QX_ERROR_TEXT_MAX, 'a'));
  EXPECT_EQ(args.Error.SysText, std::string(QX_ERROR_TEXT_MAX, 'a'));
  EXPECT_EQ(args.Operation, 0xFF);
}

// ---------------------------------------------------------------------------
// Handlers and slots.

// A handler that counts its calls and its own destruction.
class TCountingHandler : public TEventCustom {
 public:
  TCountingHandler(int *calls, std::vector<int> *destroyed, int id) : calls_(calls), destroyed_(destroyed), id_(id) {}
  ~TCountingHandler() override { destroyed_->push_back(id_); }
  void Invoke(TEventArgs &) override { ++*calls_; }

 private:
  int *calls_;
  std::vector<int> *destroyed_;
  int id_;
};

TEST(SdkEventSlot, ReplacingDeletesThePreviousHandler) {
  int calls = 0;
  std::vector<int> destroyed;
  TEventSlot slot;
  slot = std::make_unique<TCountingHandler>(&calls, &destroyed, 1);
  slot = std::make_unique<TCountingHandler>(&calls, &destroyed, 2);
  EXPECT_EQ(destroyed, std::vector<int>{1});
  TSdkSimpleEventArgs args(nullptr);
  slot->Invoke(args);
  EXPECT_EQ(calls, 1);
}

TEST(SdkEventSlot, AssigningTheSameHandlerDeletesNothing) {
  int calls = 0;
  std::vector<int> destroyed;
  {
    TEventSlot slot;
    slot = std::make_unique<TCountingHandler>(&calls, &destroyed, 1);
    TEventCustom *held = slot.get();
    slot = std::unique_ptr<TEventCustom>(held);
    EXPECT_TRUE(destroyed.empty());
    EXPECT_EQ(slot.get(), held);
    TSdkSimpleEventArgs args(nullptr);
    slot->Invoke(args);
    EXPECT_EQ(calls, 1);
  }
  EXPECT_EQ(destroyed, std::vector<int>{1}) << "deleted once, with the slot";
}

TEST(SdkEventSlot, MovingBetweenSlotsTransfersOwnership) {
  int calls = 0;
  std::vector<int> destroyed;
  TEventSlot from;
  TEventSlot to;
  from = std::make_unique<TCountingHandler>(&calls, &destroyed, 1);
  to = std::make_unique<TCountingHandler>(&calls, &destroyed, 2);
  to = std::move(from);
  EXPECT_EQ(destroyed, std::vector<int>{2});
  EXPECT_FALSE(from);
  ASSERT_TRUE(to);
  to.reset();
  EXPECT_EQ(destroyed, (std::vector<int>{2, 1}));
}

TEST_F(SdkEvents, DestroyingAnObjectDeletesHandlersInReverseSlotOrder) {
  int calls = 0;
  std::vector<int> destroyed;
  {
    TTestObject object;
    object.OnPing = std::make_unique<TCountingHandler>(&calls, &destroyed, 1);
    object.OnValue = std::make_unique<TCountingHandler>(&calls, &destroyed, 2);
    object.OnError = std::make_unique<TCountingHandler>(&calls, &destroyed, 3);
  }
  EXPECT_EQ(destroyed, (std::vector<int>{3, 2, 1}));
}

// An argument record that counts its constructions.
int g_args_built = 0;
struct TCountedArgs : TEventArgs {
  explicit TCountedArgs(TSdkObject *sender) : TEventArgs(sender) { ++g_args_built; }
};

TEST(SdkRaiseEvent, EmptySlotBuildsNoRecord) {
  g_args_built = 0;
  int calls = 0;
  std::vector<int> destroyed;
  TEventSlot slot;
  RaiseEvent<TCountedArgs>(slot, nullptr);
  EXPECT_EQ(g_args_built, 0);
  slot = std::make_unique<TCountingHandler>(&calls, &destroyed, 1);
  RaiseEvent<TCountedArgs>(slot, nullptr);
  EXPECT_EQ(g_args_built, 1);
  EXPECT_EQ(calls, 1);
}

// ---------------------------------------------------------------------------
// Several objects of one family, and destroyed objects.

TEST_F(SdkEvents, TwoObjectsShareOneTargetUntilTheLastIsDestroyed) {
  auto first = std::make_unique<TTestObject>();
  TSdkMessageTarget *window = TestFamily().Window();
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(window->objectName().toStdString(), "TTestWndClass");
  EXPECT_EQ(g_library_starts, 1);
  auto second = std::make_unique<TTestObject>();
  EXPECT_EQ(TestFamily().Window(), window);
  EXPECT_EQ(TestFamily().InstanceCount(), 2);
  EXPECT_EQ(g_library_starts, 1) << "the library starts once per family";

  TRecorder recorder;
  recorder.Attach(*second);
  first.reset();
  EXPECT_EQ(TestFamily().Window(), window) << "the window stays while an object lives";
  EXPECT_EQ(g_library_stops, 0);
  second->PostValue(0, 5);
  Deliver();
  ASSERT_EQ(recorder.values.size(), 1u);
  EXPECT_EQ(recorder.values[0].Sequence, 5);

  QPointer<TSdkMessageTarget> watch(window);
  second.reset();
  EXPECT_EQ(TestFamily().Window(), nullptr);
  EXPECT_TRUE(watch.isNull()) << "the last object removes the window";
  EXPECT_EQ(g_library_stops, 1);
}

TEST_F(SdkEvents, MessagesOfAnObjectDestroyedBeforeDispatchAreDropped) {
  auto doomed = std::make_unique<TTestObject>();
  TTestObject survivor;
  TRecorder doomed_recorder;
  TRecorder survivor_recorder;
  doomed_recorder.Attach(*doomed);
  survivor_recorder.Attach(survivor);
  void *doomed_payload = NewPayload(sizeof(TValuePayload));
  TestFamily().Post(kMsgValue, doomed.get(), doomed_payload);
  survivor.PostValue(1, 1);
  doomed.reset();
  Deliver();
  EXPECT_TRUE(doomed_recorder.values.empty());
  EXPECT_EQ(survivor_recorder.values.size(), 1u);
  EXPECT_EQ(TimesFreed(doomed_payload), 1);
}

TEST_F(SdkEvents, MessageOfDestroyedObjectNotDeliveredToObjectAtSameAddress) {
  TTestObject survivor;  // keeps the window and its queue alive
  alignas(TTestObject) unsigned char storage[sizeof(TTestObject)];
  auto *first = new (storage) TTestObject();
  TRecorder recorder;
  void *payload = NewPayload(sizeof(TValuePayload));
  TestFamily().Post(kMsgValue, first, payload);
  first->~TTestObject();
  auto *second = new (storage) TTestObject();
  ASSERT_EQ(static_cast<void *>(second), static_cast<void *>(storage));
  recorder.Attach(*second);
  Deliver();
  EXPECT_TRUE(recorder.values.empty()) << "a message of the old object reached the new one";
  EXPECT_EQ(TimesFreed(payload), 1);
  second->~TTestObject();
}

TEST_F(SdkEvents, LastObjectDestroyedWithQueuedMessagesReleasesTheirPayloads) {
  std::vector<void *> payloads;
  {
    TTestObject object;
    TRecorder recorder;
    recorder.Attach(object);
    for (int i = 0; i < 5; ++i) {
      void *payload = NewPayload(sizeof(TValuePayload));
      payloads.push_back(payload);
      TestFamily().Post(kMsgValue, &object, payload);
    }
  }
  for (void *payload : payloads) EXPECT_EQ(TimesFreed(payload), 1) << payload;
}

TEST_F(SdkEvents, PostWithoutWindowReleasesThePayload) {
  void *payload = NewPayload(sizeof(TValuePayload));
  EXPECT_FALSE(TestFamily().Post(kMsgValue, nullptr, payload));
  EXPECT_EQ(TimesFreed(payload), 1);
}

// A handler that destroys the family's last object while the target is
// dispatching to it: the target must outlive its own dispatch, and the
// messages still queued behind must be released undelivered.
class TSelfDestroyer {
 public:
  std::unique_ptr<TTestObject> object;
  int calls = 0;
  void Value(TValueArgs &) {
    ++calls;
    object.reset();
  }
};

TEST_F(SdkEvents, HandlerDestroyingTheLastObjectDuringDispatch) {
  TSelfDestroyer destroyer;
  destroyer.object = std::make_unique<TTestObject>();
  destroyer.object->OnValue =
      std::make_unique<EventHandler<TSelfDestroyer, TValueArgs>>(&destroyer, &TSelfDestroyer::Value);
  QPointer<TSdkMessageTarget> window(TestFamily().Window());
  destroyer.object->PostValue(0, 0);
  destroyer.object->PostValue(0, 1);
  Deliver();
  EXPECT_EQ(destroyer.calls, 1);
  EXPECT_TRUE(window.isNull());
  EXPECT_EQ(TotalFreed(), 2);
}

}  // namespace
}  // namespace zelvoapi
