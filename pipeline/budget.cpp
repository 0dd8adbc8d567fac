#include "budget.h"

#include <algorithm>

namespace pipeline {

MemoryBudget::Lease& MemoryBudget::Lease::operator=(Lease&& other) noexcept {
    if (this != &other) {
        release();
        budget_ = other.budget_;
        bytes_ = other.bytes_;
        other.budget_ = nullptr;
    }
    return *this;
}

void MemoryBudget::Lease::release() {
    if (budget_) budget_->give(bytes_);
    budget_ = nullptr;
}

void MemoryBudget::Lease::keep(std::uint64_t bytes) {
    if (!budget_ || bytes >= bytes_) return;
    budget_->give(bytes_ - bytes);
    bytes_ = bytes;
}

MemoryBudget::Lease MemoryBudget::reserve(std::uint64_t bytes) {
    // More than the whole budget is held as the whole: it runs alone.
    const std::uint64_t wanted = std::min(bytes, total_);
    std::unique_lock lock(mutex_);
    freed_.wait(lock, [&] { return held_ + wanted <= total_; });
    held_ += wanted;
    return Lease(this, wanted);
}

std::uint64_t MemoryBudget::held() const {
    const std::lock_guard lock(mutex_);
    return held_;
}

void MemoryBudget::give(std::uint64_t bytes) {
    {
        const std::lock_guard lock(mutex_);
        held_ -= bytes;
    }
    freed_.notify_all();
}

MemoryBudget& ProcessBudget() {
    static MemoryBudget budget(MemoryBudget::kRun);
    return budget;
}

} // namespace pipeline
