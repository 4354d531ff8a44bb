#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

// Takes typed values from the front of a fuzzer's input; zero once it is used up.
class FuzzInput {
public:
    FuzzInput(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    template <class T>
    T take() {
        T value{};
        const std::size_t n = sizeof(T) < size_ ? sizeof(T) : size_;
        std::memcpy(&value, data_, n);
        data_ += n;
        size_ -= n;
        return value;
    }
    // The next `count` bytes (fewer when the input ends), advancing past them.
    const std::uint8_t* bytes(std::size_t count, std::size_t* taken) {
        *taken = count < size_ ? count : size_;
        const std::uint8_t* p = data_;
        data_ += *taken;
        size_ -= *taken;
        return p;
    }
    std::size_t remaining() const { return size_; }

private:
    const std::uint8_t* data_;
    std::size_t size_;
};
