#include "base/framework_thread.h"

#include <map>
#include <utility>

namespace nbase {
namespace {

struct FrameworkThreadRecord {
  FrameworkThread* thread = nullptr;
  bool quit_properly = false;
  int registration_count = 0;
  int identifier = -1;
  void* custom_data = nullptr;
};

thread_local FrameworkThreadRecord* tls_record = nullptr;

struct Registry {
  std::mutex lock;
  std::map<int, FrameworkThread*> threads;
};

Registry& GetRegistry() {
  static Registry* registry = new Registry();  // used until the process ends
  return *registry;
}

void RepeatTask(const WeakCallback<Closure>& task, int identifier, TimeDelta delay, int times) {
  // An empty closure would throw on this worker and end the process; like an
  // empty posted task it is skipped, and there is nothing to repeat.
  if (task.Expired() || !task.callable()) return;
  task();
  if (task.Expired()) return;
  if (times != -1) --times;
  if (times != 0) ThreadRegistry::PostRepeatingTask(task, identifier, delay, times);
}

}  // namespace

// ---------------------------------------------------------------------------
// FrameworkThread

FrameworkThread::FrameworkThread(std::string name) : name_(std::move(name)) {}

FrameworkThread::~FrameworkThread() {
  Stop();
  factory_.reset();
}

bool FrameworkThread::Start() {
  return StartInternal(kDefaultLoop, nullptr, true);
}

bool FrameworkThread::StartWithLoop(int loop_type) {
  if (loop_type == kCustomLoop) return false;
  return StartInternal(loop_type, nullptr, true);
}

bool FrameworkThread::StartWithLoopFactory(std::shared_ptr<MessageLoopFactory> factory) {
  if (!factory) return false;
  return StartInternal(kCustomLoop, std::move(factory), true);
}

bool FrameworkThread::StartWithoutWaiting() {
  return StartInternal(kDefaultLoop, nullptr, false);
}

void FrameworkThread::WaitUntilStarted() {
  if (!start_unconfirmed_) return;
  start_unconfirmed_ = false;
  started_event_.Wait();
}

bool FrameworkThread::StartInternal(int loop_type, std::shared_ptr<MessageLoopFactory> factory,
                                    bool wait) {
  if (message_loop_.load() || IsCreated()) return false;
  loop_type_ = loop_type;
  factory_ = std::move(factory);
  dispatcher_ = nullptr;
  if (!Create()) return false;
  start_unconfirmed_ = true;
  if (wait) WaitUntilStarted();
  running_.store(true);
  return true;
}

void FrameworkThread::RunOnCurrentThread(int loop_type, MessageDispatcher* dispatcher) {
  loop_type_ = loop_type;
  running_.store(true);
  dispatcher_ = dispatcher;
  Run();
  running_.store(false);
}

void FrameworkThread::Stop() {
  if (!running_.load()) return;
  // Until Init has run there may be no loop to ask.
  WaitUntilStarted();
  if (!stopping_.exchange(true)) {
    if (auto proxy = GetProxy()) {
      proxy->PostTopLevelTask(MakeWeakCallback([this]() { MarkQuit(); }));
    }
  }
  Join();
  running_.store(false);
  stopping_.store(false);
}

void FrameworkThread::MarkQuit() {
  if (MessageLoop* loop = MessageLoop::Current()) loop->RequestQuit();
  if (tls_record) tls_record->quit_properly = true;
}

std::shared_ptr<MessageLoopProxy> FrameworkThread::GetProxy() const {
  std::lock_guard<std::mutex> guard(proxy_lock_);
  return proxy_;
}

FrameworkThread* FrameworkThread::Current() {
  return tls_record ? tls_record->thread : nullptr;
}

bool FrameworkThread::QuitProperly() {
  return tls_record && tls_record->quit_properly;
}

std::unique_ptr<MessageLoop> FrameworkThread::CreateLoop() {
  switch (loop_type_) {
    case kCustomLoop:
      if (factory_) {
        if (auto loop = factory_->CreateMessageLoop()) return loop;
      }
      break;
    case kIOLoop:
      return std::make_unique<IOMessageLoop>();
    case kUILoop:
      return std::make_unique<UIMessageLoop>();
    default:
      break;
  }
  return std::make_unique<MessageLoop>();
}

void FrameworkThread::Run() {
  bool own_record = false;
  if (!tls_record) {
    tls_record = new FrameworkThreadRecord();
    tls_record->thread = this;
    own_record = true;
  }
  tls_record->quit_properly = false;
  set_thread_id(CurrentThreadId());
  SetCurrentThreadName(name_);

  std::unique_ptr<MessageLoop> loop = CreateLoop();
  message_loop_.store(loop.get());
  {
    std::lock_guard<std::mutex> guard(proxy_lock_);
    proxy_ = loop->GetProxy();
  }

  Init();
  started_event_.Signal();

  loop->Run(dispatcher_);

  Cleanup();
  // A registration left behind would leave the registry pointing at a
  // thread that is about to go.
  ThreadRegistry::ForgetCurrentThread();

  {
    std::lock_guard<std::mutex> guard(proxy_lock_);
    proxy_.reset();
  }
  message_loop_.store(nullptr);
  loop.reset();
  if (loop_type_ == kCustomLoop) factory_.reset();
  set_thread_id(0);

  if (own_record) {
    delete tls_record;
    tls_record = nullptr;
  }
}

// ---------------------------------------------------------------------------
// ThreadRegistry

bool ThreadRegistry::RegisterCurrentThread(int identifier) {
  if (identifier < 0 || !tls_record) return false;
  Registry& registry = GetRegistry();
  std::lock_guard<std::mutex> guard(registry.lock);
  auto [it, inserted] = registry.threads.emplace(identifier, tls_record->thread);
  if (!inserted && it->second != tls_record->thread) return false;
  // A thread holds one identifier; moving to another drops the old one.
  if (tls_record->identifier >= 0 && tls_record->identifier != identifier) {
    registry.threads.erase(tls_record->identifier);
    tls_record->registration_count = 0;
  }
  ++tls_record->registration_count;
  tls_record->identifier = identifier;
  return true;
}

void ThreadRegistry::UnregisterCurrentThread() {
  if (!tls_record || tls_record->registration_count <= 0) return;
  Registry& registry = GetRegistry();
  std::lock_guard<std::mutex> guard(registry.lock);
  if (--tls_record->registration_count > 0) return;
  registry.threads.erase(tls_record->identifier);
  tls_record->identifier = -1;
}

void ThreadRegistry::ForgetCurrentThread() {
  if (!tls_record || tls_record->registration_count <= 0) return;
  tls_record->registration_count = 1;
  UnregisterCurrentThread();
}

std::shared_ptr<MessageLoopProxy> ThreadRegistry::GetThreadProxy(int identifier) {
  Registry& registry = GetRegistry();
  std::lock_guard<std::mutex> guard(registry.lock);
  auto it = registry.threads.find(identifier);
  if (it == registry.threads.end()) return nullptr;
  return it->second->GetProxy();
}

bool ThreadRegistry::PostTaskToThread(int identifier, Closure task) {
  auto proxy = GetThreadProxy(identifier);
  return proxy && proxy->PostTask(std::move(task));
}

bool ThreadRegistry::PostDelayedTaskToThread(int identifier, Closure task, TimeDelta delay) {
  auto proxy = GetThreadProxy(identifier);
  return proxy && proxy->PostDelayedTask(std::move(task), delay);
}

void ThreadRegistry::PostRepeatingTask(const WeakCallback<Closure>& task, int identifier,
                                       TimeDelta delay, int times) {
  PostDelayedTaskToThread(
      identifier,
      [task, identifier, delay, times]() { RepeatTask(task, identifier, delay, times); }, delay);
}

int ThreadRegistry::CurrentThreadIdentifier() {
  return tls_record ? tls_record->identifier : -1;
}

}  // namespace nbase
