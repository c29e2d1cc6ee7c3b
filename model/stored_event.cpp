#include "model/stored_event.h"

#include <cstring>
#include <memory>
#include <stdexcept>
#include <type_traits>

namespace repcopy {

namespace {

// Lays the parts of one event out in its block, which block_sizer measured; a part that would pass
// its end is a fault in the two agreeing, and throws.
class block_layout {
 public:
  block_layout(std::byte* base, size_t capacity) : base_(base), capacity_(capacity) {}

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
  // Room for n objects of T, aligned; null when n is 0 (which takes no room).
  template <class T>
  T* place(size_t n) {
    if (n == 0) return nullptr;
    offset_ = (offset_ + alignof(T) - 1) & ~(alignof(T) - 1);
    if (offset_ + n * sizeof(T) > capacity_)
      throw std::logic_error("stored_event: block too small");
    T* at = reinterpret_cast<T*>(base_ + offset_);
    offset_ += n * sizeof(T);
    return at;
  }

  std::byte* base_;
  size_t capacity_;
  size_t offset_ = 0;
};

// Copies the numbers of an event or a table row (the source file is the constructor's choice).
struct copy_numbers {
  template <class From, class To>
  void operator()(const char*, field_role, const From& from, To& to) {
    if constexpr (!field_table<From> && !field_bytes<From> && !field_text<From> &&
                  !std::is_same_v<From, source_file_ref>) {
      to = from;
    }
  }
};

// The block holds the tables first (they need pointer alignment), then the byte runs, then the
// texts, and last the texts of the table rows; each round walks the field list once.
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
      for (size_t i = 0; i < from.size(); ++i) {  // the tables round gave `to` from.size() rows
        for_each_field(packer<round::texts>(b_), from[i], to[i]);
        for_each_field(copy_numbers{}, from[i], to[i]);
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

// The size of the block lay_out fills, in one walk: the tables (their rows' sizes are multiples
// of every row's alignment, so they lie back to back from the block's start), the byte runs,
// and the texts, the first of which starts on a char16_t boundary. Also the size the memory
// bounds count, with the rows at their former sizes.
class block_sizer {
 public:
  static_assert(sizeof(stored_string) % alignof(stored_field) == 0 &&
                sizeof(stored_field) % alignof(stored_string) == 0);

  size_t size() const {
    return size_with(strings_ * sizeof(stored_string) + fields_ * sizeof(stored_field));
  }
  size_t counted_size() const {
    return size_with(strings_ * stored_event::kCountedStringRow +
                     fields_ * stored_event::kCountedFieldRow);
  }

  template <class Field>
  void operator()(const char*, field_role, const Field& field) {
    if constexpr (field_table<Field>) {
      if constexpr (std::is_same_v<typename Field::value_type, insertion_string>) {
        strings_ += field.size();
      } else {
        fields_ += field.size();
      }
      for (const auto& row : field) for_each_field(*this, row);
    } else if constexpr (field_bytes<Field>) {
      bytes_ += field.size();
    } else if constexpr (field_text<Field>) {
      units_ += field.size();
    }
  }

 private:
  size_t size_with(size_t tables) const {
    const size_t before_texts = tables + bytes_;
    return units_ == 0 ? before_texts : before_texts + (before_texts & 1) + 2 * units_;
  }

  size_t strings_ = 0, fields_ = 0, bytes_ = 0, units_ = 0;
};

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

stored_event::stored_event(const full_event& e, bool with_source_file) {
  for_each_field(copy_numbers{}, e, *this);
  if (with_source_file) source_file = e.source_file;
  uint32_t gap = 0;  // ordinal - 1 - position of the string before, in unsigned arithmetic
  for (size_t k = 0; k < e.strings.size(); ++k) {
    string_text_units_ += e.strings[k].text.size();
    const uint32_t position = e.strings[k].ordinal - 1;
    if (position != uint32_t(k) + gap) {
      ++string_ordinal_breaks_;
      gap = position - uint32_t(k);
    }
  }
  block_sizer sizing;
  for_each_field(sizing, e);
  counted_block_size_ = sizing.counted_size();
  const size_t block_size = sizing.size();
  if (block_size == 0) return;
  block_ = std::make_unique_for_overwrite<std::byte[]>(block_size);
  block_layout filling(block_.get(), block_size);
  lay_out(filling, e, *this);
  if (filling.size() != block_size) throw std::logic_error("stored_event: block size mismatch");
}

full_event stored_event::to_full_event() const {
  full_event e;
  for_each_field(unpacker{}, *this, e);
  return e;
}

}  // namespace repcopy
