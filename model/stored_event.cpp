#include "model/stored_event.h"

#include <cstring>
#include <memory>
#include <type_traits>

namespace repcopy {

namespace {

// Lays the parts of one event out in its block: a sizing pass counts, a filling pass copies.
class block_layout {
 public:
  explicit block_layout(std::byte* base) : base_(base) {}

  size_t size() const { return offset_; }

  template <class T>
  std::span<T> table(size_t n) {
    static_assert(std::is_trivially_destructible_v<T>);
    T* first = place<T>(n);
    if (first == nullptr) return {};
    for (size_t i = 0; i < n; ++i) std::construct_at(first + i);
    return {first, n};
  }

  template <class T>
  std::span<const T> copy(std::span<const T> from) {
    T* to = place<T>(from.size());
    if (to == nullptr) return {};
    std::memcpy(to, from.data(), from.size_bytes());
    return {to, from.size()};
  }

 private:
  // Room for n objects of T, aligned; null when sizing or when n is 0 (which takes no room).
  template <class T>
  T* place(size_t n) {
    if (n == 0) return nullptr;
    offset_ = (offset_ + alignof(T) - 1) & ~(alignof(T) - 1);
    T* at = base_ ? reinterpret_cast<T*>(base_ + offset_) : nullptr;
    offset_ += n * sizeof(T);
    return at;
  }

  std::byte* base_;
  size_t offset_ = 0;
};

// Copies the numbers (and the source file) of an event or a table row.
struct copy_numbers {
  template <class From, class To>
  void operator()(const char*, field_role, const From& from, To& to) {
    if constexpr (!field_table<From> && !field_bytes<From> && !field_text<From>) to = from;
  }
};

// The block holds the tables first (they need pointer alignment), then the byte runs, then the
// texts, and last the texts of the table rows; each round walks the field list once. A sizing
// pass (no block) sets only views and spans without data, which nobody reads.
enum class round { tables, bytes, texts, row_texts };

template <round R>
class packer {
 public:
  explicit packer(block_layout& b) : b_(b) {}

  template <class From, class To>
  void operator()(const char*, field_role, const From& from, To& to) {
    if constexpr (field_table<From> && R == round::tables) {
      to = b_.table<typename To::value_type>(from.size());
    } else if constexpr (field_table<From> && R == round::row_texts) {
      for (size_t i = 0; i < from.size(); ++i) {
        typename To::value_type unused;
        for_each_field(packer<round::texts>(b_), from[i], to.empty() ? unused : to[i]);
        if (!to.empty()) for_each_field(copy_numbers{}, from[i], to[i]);
      }
    } else if constexpr (field_bytes<From> && R == round::bytes) {
      to = b_.copy(std::span<const uint8_t>(from));
    } else if constexpr (field_text<From> && R == round::texts) {
      const std::span<const char16_t> text = b_.copy(std::span<const char16_t>(from));
      to = std::u16string_view(text.data(), text.size());
    }
  }

 private:
  block_layout& b_;
};

void lay_out(block_layout& b, const full_event& e, stored_event& out) {
  for_each_field(packer<round::tables>(b), e, out);
  for_each_field(packer<round::bytes>(b), e, out);
  for_each_field(packer<round::texts>(b), e, out);
  for_each_field(packer<round::row_texts>(b), e, out);
}

// Copies each field of a stored event into a full_event.
struct unpacker {
  template <class From, class To>
  void operator()(const char*, field_role, const From& from, To& to) {
    if constexpr (field_table<From>) {
      to.resize(from.size());
      for (size_t i = 0; i < from.size(); ++i) for_each_field(*this, from[i], to[i]);
    } else if constexpr (field_bytes<From>) {
      to.assign(from.begin(), from.end());
    } else {
      to = From(from);
    }
  }
};

}  // namespace

stored_event::stored_event(const full_event& e) {
  for_each_field(copy_numbers{}, e, *this);
  block_layout sizing(nullptr);
  stored_event unused;
  lay_out(sizing, e, unused);
  block_size_ = sizing.size();
  if (block_size_ == 0) return;
  block_ = std::make_unique_for_overwrite<std::byte[]>(block_size_);
  block_layout filling(block_.get());
  lay_out(filling, e, *this);
}

full_event stored_event::to_full_event() const {
  full_event e;
  for_each_field(unpacker{}, *this, e);
  return e;
}

}  // namespace repcopy
