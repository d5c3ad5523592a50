// In-memory streams of the support library. basic_imemstream reads a block it neither
// owns nor copies (the payload resource); basic_memstream owns a growable buffer with
// independent read and write positions (the payload header as it arrives).
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <istream>
#include <limits>
#include <streambuf>
#include <utility>
#include <vector>

namespace kv {

template <class CharT, class Traits = std::char_traits<CharT>>
class basic_membuf : public std::basic_streambuf<CharT, Traits> {
    using base = std::basic_streambuf<CharT, Traits>;

public:
    using char_type = CharT;
    using traits_type = Traits;
    using int_type = typename Traits::int_type;
    using pos_type = typename Traits::pos_type;
    using off_type = typename Traits::off_type;

    // An owning buffer, empty, that grows as it is written.
    basic_membuf() = default;

    // A read-only view of size characters at data.
    basic_membuf(const CharT* data, std::size_t size) : viewing_(true), end_(size)
    {
        CharT* p = const_cast<CharT*>(data);
        this->setg(p, p, p + size);
    }

    basic_membuf(basic_membuf&& other) noexcept
        : base(other), storage_(std::move(other.storage_)), viewing_(other.viewing_), end_(other.end_)
    {
        // A moved vector keeps its block, so the copied area pointers stay valid.
        other.setg(nullptr, nullptr, nullptr);
        other.setp(nullptr, nullptr);
        other.end_ = 0;
    }
    basic_membuf& operator=(basic_membuf&&) = delete;

    // Characters in the buffer: the viewed block's size, or how many were written.
    std::size_t size() const noexcept
    {
        return viewing_ ? end_ : std::max(end_, static_cast<std::size_t>(this->pptr() - this->pbase()));
    }
    std::size_t capacity() const noexcept { return viewing_ ? end_ : storage_.size(); }
    const CharT* data() const noexcept { return viewing_ ? this->eback() : storage_.data(); }

protected:
    int_type overflow(int_type ch) override
    {
        if (viewing_)
            return Traits::eof();
        if (Traits::eq_int_type(ch, Traits::eof()))
            return Traits::not_eof(ch);
        reserve_put(1);
        *this->pptr() = Traits::to_char_type(ch);
        this->pbump(1);
        return ch;
    }

    std::streamsize xsputn(const CharT* s, std::streamsize n) override
    {
        if (viewing_ || n <= 0)
            return 0;
        reserve_put(static_cast<std::size_t>(n));
        Traits::copy(this->pptr(), s, static_cast<std::size_t>(n));
        advance_put(n);
        return n;
    }

    int_type underflow() override
    {
        if (!viewing_) {
            // What has been written since the last read becomes readable.
            end_ = size();
            this->setg(storage_.data(), this->gptr() ? this->gptr() : storage_.data(), storage_.data() + end_);
        }
        if (this->gptr() < this->egptr())
            return Traits::to_int_type(*this->gptr());
        return Traits::eof();
    }

    pos_type seekoff(off_type off, std::ios_base::seekdir dir, std::ios_base::openmode which) override
    {
        const bool in = (which & std::ios_base::in) != 0;
        const bool out = (which & std::ios_base::out) != 0;
        if (in == out && dir == std::ios_base::cur)
            return pos_type(off_type(-1));
        if (out && viewing_)
            return pos_type(off_type(-1));
        if (!viewing_)
            end_ = size();

        off_type origin = 0;
        if (dir == std::ios_base::end)
            origin = static_cast<off_type>(end_);
        else if (dir == std::ios_base::cur)
            origin = in ? this->gptr() - this->eback() : this->pptr() - this->pbase();
        const off_type target = origin + off;
        if (target < 0 || target > static_cast<off_type>(end_))
            return pos_type(off_type(-1));

        if (in) {
            CharT* first = viewing_ ? this->eback() : storage_.data();
            this->setg(first, first + target, first + end_);
        }
        if (out) {
            this->setp(storage_.data(), storage_.data() + storage_.size());
            advance_put(target);
        }
        return pos_type(target);
    }

    pos_type seekpos(pos_type pos, std::ios_base::openmode which) override
    {
        return seekoff(off_type(pos), std::ios_base::beg, which);
    }

private:
    // Makes room for n more characters at the write position. The buffer grows by 256
    // characters while it holds fewer than 512, else by half its size.
    void reserve_put(std::size_t n)
    {
        const std::size_t used = static_cast<std::size_t>(this->pptr() - this->pbase());
        std::size_t capacity = storage_.size();
        if (capacity - used >= n)
            return;
        while (capacity - used < n)
            capacity += capacity < 512 ? 256 : capacity / 2;

        const std::size_t read = this->gptr() ? static_cast<std::size_t>(this->gptr() - this->eback()) : 0;
        end_ = size();
        storage_.resize(capacity);
        CharT* first = storage_.data();
        this->setg(first, first + read, first + end_);
        this->setp(first, first + capacity);
        advance_put(static_cast<std::ptrdiff_t>(used));
    }

    // pbump takes an int; larger moves are made in steps.
    void advance_put(std::ptrdiff_t n)
    {
        while (n > 0) {
            const int step = static_cast<int>(std::min<std::ptrdiff_t>(n, std::numeric_limits<int>::max()));
            this->pbump(step);
            n -= step;
        }
    }

    std::vector<CharT> storage_;
    bool viewing_ = false;
    std::size_t end_ = 0;   // the view's size, or the end of what was written as last seen
};

// Read-only stream over a memory block that stays owned by someone else.
template <class CharT, class Traits = std::char_traits<CharT>>
class basic_imemstream : public std::basic_istream<CharT, Traits> {
public:
    basic_imemstream() : basic_imemstream(nullptr, 0) {}
    basic_imemstream(const CharT* data, std::size_t size)
        : std::basic_istream<CharT, Traits>(nullptr), buf_(data, size)
    {
        this->init(&buf_);
    }
    basic_imemstream(basic_imemstream&& other)
        : std::basic_istream<CharT, Traits>(std::move(other)), buf_(std::move(other.buf_))
    {
        this->set_rdbuf(&buf_);
    }

    std::size_t size() const noexcept { return buf_.size(); }
    const CharT* data() const noexcept { return buf_.data(); }
    basic_membuf<CharT, Traits>* rdbuf() const { return const_cast<basic_membuf<CharT, Traits>*>(&buf_); }

private:
    basic_membuf<CharT, Traits> buf_;
};

// Read-write stream over a buffer of its own that grows as it is written.
template <class CharT, class Traits = std::char_traits<CharT>>
class basic_memstream : public std::basic_iostream<CharT, Traits> {
public:
    basic_memstream() : std::basic_iostream<CharT, Traits>(nullptr) { this->init(&buf_); }
    basic_memstream(basic_memstream&& other)
        : std::basic_iostream<CharT, Traits>(std::move(other)), buf_(std::move(other.buf_))
    {
        this->set_rdbuf(&buf_);
    }

    // Characters written so far.
    std::size_t written() const noexcept { return buf_.size(); }
    std::size_t capacity() const noexcept { return buf_.capacity(); }
    const CharT* data() const noexcept { return buf_.data(); }
    basic_membuf<CharT, Traits>* rdbuf() const { return const_cast<basic_membuf<CharT, Traits>*>(&buf_); }

private:
    basic_membuf<CharT, Traits> buf_;
};

using membuf = basic_membuf<char>;
using imemstream = basic_imemstream<char>;
using memstream = basic_memstream<char>;

} // namespace kv
