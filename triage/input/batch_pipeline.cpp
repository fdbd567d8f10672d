#include "batch_pipeline.h"

#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <thread>

namespace triage {
namespace {

// The store's three batches bound the memory: one being filled, one
// waiting, one read.
class BatchChannel {
 public:
  explicit BatchChannel(BatchStore& store) {
    for (LineBatch& batch : store.batches) empty_.push_back(&batch);
  }

  // The batcher's side, on its own thread.
  void Produce(LineBatcher& batcher) {
    for (;;) {
      LineBatch* batch = nullptr;
      {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [&] { return stop_ || !empty_.empty(); });
        if (stop_) break;
        batch = empty_.front();
        empty_.pop_front();
      }
      bool more = false;
      try {
        more = batcher.Fill(*batch);
      } catch (...) {
        std::lock_guard<std::mutex> lock(mutex_);
        error_ = std::current_exception();
      }
      {
        std::lock_guard<std::mutex> lock(mutex_);
        full_.push_back(batch);
        ended_ = !more;
      }
      changed_.notify_all();
      if (!more) break;
    }
  }

  // The consumer's side: the next full batch, or null once there is none.
  LineBatch* Take() {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [&] { return ended_ || !full_.empty(); });
    if (full_.empty()) return nullptr;
    LineBatch* batch = full_.front();
    full_.pop_front();
    return batch;
  }

  void Return(LineBatch* batch) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      empty_.push_back(batch);
    }
    changed_.notify_all();
  }

  void Stop() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stop_ = true;
    }
    changed_.notify_all();
  }

  std::exception_ptr error() {
    std::lock_guard<std::mutex> lock(mutex_);
    return error_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<LineBatch*> empty_, full_;
  bool stop_ = false;   // the consumer wants no more
  bool ended_ = false;  // the batcher has given its last batch
  std::exception_ptr error_;
};

// Stops and joins the batcher's thread however the consumer leaves.
class Joined {
 public:
  Joined(BatchChannel& channel, std::thread thread)
      : channel_(channel), thread_(std::move(thread)) {}
  ~Joined() {
    channel_.Stop();
    thread_.join();
  }
  Joined(const Joined&) = delete;
  Joined& operator=(const Joined&) = delete;

 private:
  BatchChannel& channel_;
  std::thread thread_;
};

}  // namespace

void RunBatches(LineBatcher& batcher, BatchStore& store, uint64_t inline_bytes,
                const std::function<bool(const LineBatch&)>& consume) {
  while (batcher.bytes() < inline_bytes) {
    const bool more = batcher.Fill(store.batches[0]);
    if (!consume(store.batches[0]) || !more) return;
  }
  BatchChannel channel(store);
  {
    Joined producer(channel, std::thread([&] { channel.Produce(batcher); }));
    while (LineBatch* batch = channel.Take()) {
      const bool wanted = consume(*batch);
      channel.Return(batch);
      if (!wanted) break;
    }
  }
  if (const std::exception_ptr error = channel.error()) std::rethrow_exception(error);
}

}  // namespace triage
