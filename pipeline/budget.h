// The memory a run may take for pictures at once, whatever the number of
// jobs: each decoding reserves what its header says it will need before it
// starts, and waits while the others hold the rest. A picture that needs
// more than the whole budget runs alone. So four large pictures with -j4
// take the memory of one, while small ones go on side by side.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace pipeline {

class MemoryBudget {
  public:
    explicit MemoryBudget(std::uint64_t bytes) : total_(bytes) {}
    MemoryBudget(const MemoryBudget&) = delete;
    MemoryBudget& operator=(const MemoryBudget&) = delete;

    // What a run of the command line may hold at once: enough for one
    // picture at the pixel limit, decoded and fitted.
    static constexpr std::uint64_t kRun = 320ull << 20;

    // Bytes held until it ends.
    class Lease {
      public:
        Lease() = default;
        Lease(Lease&& other) noexcept : budget_(other.budget_), bytes_(other.bytes_) {
            other.budget_ = nullptr;
        }
        Lease& operator=(Lease&& other) noexcept;
        ~Lease() { release(); }
        void release();
        // Holds no more than `bytes`, the rest given back.
        void keep(std::uint64_t bytes);

      private:
        friend class MemoryBudget;
        Lease(MemoryBudget* budget, std::uint64_t bytes) : budget_(budget), bytes_(bytes) {}
        MemoryBudget* budget_ = nullptr;
        std::uint64_t bytes_ = 0;
    };

    // Waits until `bytes` are free (or, for more than the whole budget,
    // until nothing else is held), then holds them.
    [[nodiscard]] Lease reserve(std::uint64_t bytes);

    std::uint64_t held() const;
    std::uint64_t total() const { return total_; }

  private:
    void give(std::uint64_t bytes);

    const std::uint64_t total_;
    mutable std::mutex mutex_;
    std::condition_variable freed_;
    std::uint64_t held_ = 0;
};

// The budget every decoding of this process shares, whatever the front end.
MemoryBudget& ProcessBudget();

} // namespace pipeline
