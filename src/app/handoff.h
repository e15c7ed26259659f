// A ring of reusable slots that one thread fills and another empties, in order.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <vector>

namespace app {

/// Slots handed from one producing thread to one consuming thread, in the order they are filled.
/// The slots are made once and reused, so that their buffers keep their capacity. Each side
/// tells the other of its progress only every `batch` slots, and a side that has to wait is woken
/// only once half the ring is ready for it: a handoff costs a lock now and then, and a sleep and a
/// wakeup rarely, however short the work of a slot.
template <class T>
class Handoff {
public:
    explicit Handoff(std::size_t slots = 128, std::size_t batch = 16)
        : slots_(slots), batch_(batch), wake_(slots / 2) {}

    // The producer's side.

    /// The next slot to fill, once it is free; nullptr once the consumer has cancelled.
    T* claim() {
        for (;;) {
            if (T* slot = tryClaim()) return slot;
            if (!waitForSpace()) return nullptr;
        }
    }
    /// The next slot to fill if one is free now; nullptr when the ring is full or cancelled.
    T* tryClaim() {
        if (filled_ - freed_ == slots_.size()) {
            std::lock_guard lock(mutex_);
            shareFilled(false);
            freed_ = freedShared_;
        }
        if (filled_ - freed_ == slots_.size() || cancelled()) return nullptr;
        return &slots_[filled_ % slots_.size()];
    }
    /// Waits until a slot is free; false once the consumer has cancelled.
    bool waitForSpace() {
        std::unique_lock lock(mutex_);
        shareFilled(false);
        producerWaits_ = true;
        freedChanged_.wait(lock, [&] { return cancelled_ || filled_ - freedShared_ != slots_.size(); });
        producerWaits_ = false;
        freed_ = freedShared_;
        return !cancelled_;
    }
    bool cancelled() const { return cancelled_.load(std::memory_order_relaxed); }
    /// The slots filled and not yet freed as far as the producer knows, newest first, until `f`
    /// returns true: the consumer may be at work on any of them.
    template <class F>
    bool anyHeld(F f) {
        for (std::size_t i = filled_; i > freed_; --i)
            if (f(slots_[(i - 1) % slots_.size()])) return true;
        return false;
    }
    /// The slot claimed last is ready. `last`: nothing follows it, hand it over now.
    void fill(bool last = false) {
        ++filled_;
        if (last || filled_ % batch_ == 0) {
            std::lock_guard lock(mutex_);
            shareFilled(last);
        }
    }

    // The consumer's side.

    /// The next slot filled, once there is one.
    T& take() {
        if (taken_ == filledSeen_) {
            std::unique_lock lock(mutex_);
            shareFreed();
            consumerWaits_ = true;
            filledChanged_.wait(lock, [&] { return filledShared_ != taken_; });
            consumerWaits_ = false;
            filledSeen_ = filledShared_;
        }
        return slots_[taken_ % slots_.size()];
    }
    /// The slot taken last is done with: the producer may fill it again.
    void release() {
        ++taken_;
        if (taken_ % batch_ == 0) {
            std::lock_guard lock(mutex_);
            shareFreed();
        }
    }
    /// The consumer takes no more: the producer's claim() gives nullptr from now on.
    void cancel() {
        std::lock_guard lock(mutex_);
        cancelled_ = true;
        freedChanged_.notify_one();
    }

private:
    // Under the lock: one side's progress made known to the other. A side waits only when it
    // has caught up with the other, having made its own progress known; it is woken once half
    // the ring is ready for it, or the producer has handed over its last slot.
    void shareFilled(bool last) {
        filledShared_ = filled_;
        if (consumerWaits_ && (last || filled_ - freedShared_ >= wake_)) filledChanged_.notify_one();
    }
    void shareFreed() {
        freedShared_ = taken_;
        if (producerWaits_ && taken_ + slots_.size() - filledShared_ >= wake_) freedChanged_.notify_one();
    }

    std::vector<T> slots_;
    const std::size_t batch_, wake_;
    std::mutex mutex_;
    std::condition_variable filledChanged_, freedChanged_;
    // Under the lock: each side's progress as the other may see it.
    std::size_t filledShared_ = 0, freedShared_ = 0;
    bool producerWaits_ = false, consumerWaits_ = false;
    std::atomic<bool> cancelled_ = false;  // written under the lock
    // Each side's own counts, read and written by that side alone.
    std::size_t filled_ = 0, freed_ = 0;       // the producer's
    std::size_t taken_ = 0, filledSeen_ = 0;  // the consumer's
};

}  // namespace app
