#include "payload/decompression_ahead.h"

#include "payload/decompression.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>

namespace {

constexpr std::size_t kBufferSize = 256 * 1024;
constexpr std::size_t kBufferCount = 4;
constexpr auto kWaitStep = std::chrono::milliseconds(20);

struct Buffer {
    std::unique_ptr<char[]> bytes;
    std::size_t size = 0;
};

// Raised on the decompression's thread when the taking thread has stopped taking.
struct Abandoned {};

// The buffers between the two threads: the filled ones in order, and the empty ones to
// fill again.
class BufferQueue {
public:
    BufferQueue()
    {
        for (std::size_t i = 0; i < kBufferCount; ++i)
            empty_.push_back({std::make_unique<char[]>(kBufferSize), 0});
    }

    // The decompression's side.
    Buffer TakeEmpty()
    {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [this] { return abandoned_ || !empty_.empty(); });
        if (abandoned_)
            throw Abandoned();
        Buffer buffer = std::move(empty_.front());
        empty_.pop_front();
        return buffer;
    }

    void PutFull(Buffer buffer)
    {
        Change([&] { full_.push_back(std::move(buffer)); });
    }

    void Finish(std::uint64_t compressedBytes, std::exception_ptr failure)
    {
        Change([&] {
            finished_ = true;
            compressedBytes_ = compressedBytes;
            failure_ = std::move(failure);
        });
    }

    // The taking side: the next filled buffer, or one without bytes once the decompression
    // has ended; raises its failure once no filled buffer is left.
    Buffer TakeFull(const std::function<void()>& whileWaiting)
    {
        std::unique_lock lock(mutex_);
        while (full_.empty() && !finished_) {
            if (!changed_.wait_for(lock, kWaitStep, [this] { return !full_.empty() || finished_; }) && whileWaiting) {
                lock.unlock();
                whileWaiting();
                lock.lock();
            }
        }
        if (!full_.empty()) {
            Buffer buffer = std::move(full_.front());
            full_.pop_front();
            return buffer;
        }
        if (failure_)
            std::rethrow_exception(failure_);
        return {};
    }

    void GiveBack(Buffer buffer)
    {
        buffer.size = 0;
        Change([&] { empty_.push_back(std::move(buffer)); });
    }

    void Abandon()
    {
        Change([this] { abandoned_ = true; });
    }

    std::uint64_t CompressedBytes()
    {
        const std::lock_guard lock(mutex_);
        return compressedBytes_;
    }

private:
    template <class Update>
    void Change(const Update& update)
    {
        {
            const std::lock_guard lock(mutex_);
            update();
        }
        changed_.notify_all();
    }

    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Buffer> full_, empty_;
    bool finished_ = false;
    bool abandoned_ = false;
    std::uint64_t compressedBytes_ = 0;
    std::exception_ptr failure_;
};

// DecompressPayload's receiver on the decompression's thread: fills the queue's buffers.
class BufferFiller {
public:
    explicit BufferFiller(BufferQueue& queue) : queue_(queue) {}

    std::size_t write(const char* bytes, std::size_t count)
    {
        if (!current_.bytes)
            current_ = queue_.TakeEmpty();
        const std::size_t n = std::min(count, kBufferSize - current_.size);
        std::memcpy(current_.bytes.get() + current_.size, bytes, n);
        current_.size += n;
        if (current_.size == kBufferSize)
            queue_.PutFull(std::exchange(current_, {}));
        return n;
    }

    void Flush()
    {
        if (current_.size != 0)
            queue_.PutFull(std::exchange(current_, {}));
    }

private:
    BufferQueue& queue_;
    Buffer current_;
};

// Tells the decompression to stop and waits for it, on every way out: it uses the
// stream and the queue.
struct DecompressionJoin {
    BufferQueue& queue;
    std::thread& thread;
    ~DecompressionJoin()
    {
        queue.Abandon();
        thread.join();
    }
};

} // namespace

std::uint64_t DecompressPayloadAhead(std::istream& stream, const DecompressedReceiver& receive,
                                     const std::function<void()>& whileWaiting)
{
    BufferQueue queue;
    std::thread decompression([&stream, &queue] {
        BufferFiller filler(queue);
        try {
            const std::uint64_t compressedBytes = DecompressPayload(stream, filler);
            filler.Flush();
            queue.Finish(compressedBytes, nullptr);
        } catch (...) {
            // The bytes decompressed before the failure are handed on first.
            const std::exception_ptr failure = std::current_exception();
            filler.Flush();
            queue.Finish(0, failure);
        }
    });
    const DecompressionJoin join{queue, decompression};
    for (;;) {
        Buffer buffer = queue.TakeFull(whileWaiting);
        if (!buffer.bytes)
            return queue.CompressedBytes();
        for (std::size_t done = 0; done < buffer.size;)
            done += receive(buffer.bytes.get() + done, std::min(payload_decompression::kBlockSize, buffer.size - done));
        queue.GiveBack(std::move(buffer));
    }
}
