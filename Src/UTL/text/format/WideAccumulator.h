// The wide output engine's result: a growing wide text with a small inline
// area, copied to the caller only at the end (a failed call leaves the
// caller's buffer untouched).
#pragma once

#include <cstddef>
#include <cstring>

namespace UTL {
namespace detail {

// Units beyond `limit` are dropped (the bounded entry point never needs
// them), and so is everything after a zero unit, which ends the result anyway.
class WideAccumulator {
public:
    explicit WideAccumulator(std::size_t limit) : limit_(limit) {}
    ~WideAccumulator() {
        if (data_ != inline_) delete[] data_;
    }
    WideAccumulator(const WideAccumulator&) = delete;
    WideAccumulator& operator=(const WideAccumulator&) = delete;

    void Append(const char16_t* s, std::size_t n) {
        n = Room(n);
        for (std::size_t i = 0; i < n; ++i) data_[size_ + i] = s[i];
        size_ += n;
    }
    void AppendNarrow(const char* s, std::size_t n) {
        n = Room(n);
        for (std::size_t i = 0; i < n; ++i) data_[size_ + i] = static_cast<unsigned char>(s[i]);
        size_ += n;
    }
    void AppendFill(char16_t c, std::size_t n) {
        n = Room(n);
        for (std::size_t i = 0; i < n; ++i) data_[size_ + i] = c;
        size_ += n;
    }
    void AppendUnit(char16_t c) {
        if (c == 0) {
            limit_ = size_;  // the result ends here
        } else if (Room(1) == 1) {
            data_[size_++] = c;
        }
    }
    // Room for `n` units written in place after the text (none of them
    // zero), then kept by Commit: conversions write their digits straight
    // into the result.
    char16_t* Reserve(std::size_t n) {
        if (n > capacity_ - size_) Grow(size_ + n);
        return data_ + size_;
    }
    void Commit(std::size_t n) { size_ += n < limit_ - size_ ? n : limit_ - size_; }

    // The result with its terminator, in the accumulator's storage.
    char16_t* Terminated() {
        if (size_ == capacity_) Grow(size_ + 1);
        data_[size_] = 0;
        return data_;
    }
    std::size_t Size() const { return size_; }

private:
    // How many of `n` units may be appended; grows the storage for them.
    std::size_t Room(std::size_t n) {
        if (n > limit_ - size_) n = limit_ - size_;
        if (n > capacity_ - size_) Grow(size_ + n);
        return n;
    }
    void Grow(std::size_t needed) {
        std::size_t capacity = capacity_ * 2;
        if (capacity < needed) capacity = needed;
        char16_t* data = new char16_t[capacity];
        std::memcpy(data, data_, size_ * sizeof(char16_t));
        if (data_ != inline_) delete[] data_;
        data_ = data;
        capacity_ = capacity;
    }

    static constexpr std::size_t kInline = 512;
    char16_t inline_[kInline];
    char16_t* data_ = inline_;
    std::size_t size_ = 0;
    std::size_t capacity_ = kInline;
    std::size_t limit_;
};

}  // namespace detail
}  // namespace UTL
