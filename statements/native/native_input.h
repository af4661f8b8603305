// The characters that the native rules read, with as much lookahead as a
// client's rule needs (a dollar tag, a DELIMITER string, the rest of a GO
// line) and every token's text in one piece of memory.
//
// Most of the time the input is the source's own read window: the whole text
// of an in-memory source, or the current chunk of a file. Characters are
// read there in place and no token is copied. Only a token that runs over the
// end of a chunk is moved into a buffer of our own, together with the next
// chunk; as soon as reading is past the moved part, reading goes back to the
// window. A stream whose class derives from a source (and may watch every
// character) is read through GetChar, one character at a time, into the
// buffer.
//
// Between statements the stream's reading position is kept exact, so that
// the source's progress counts, IsEOF and a caller that counts lines in the
// window (the kxsql tool does) see what the splitter has used. Only the rare
// token that reached into a chunk and was then cut short can leave some
// characters in the buffer across calls; the next native call reads them
// first.
#pragma once

#include <cstddef>
#include <string>

#include "kxsql/stream.h"
#include "lexer/window_scan.h"

namespace kxsql::detail {

template <class T>
class StatementBuilder;

template <class T>
class NativeInput {
 public:
  NativeInput() = default;
  // A copy reads on where the original stands, in the copied stream.
  NativeInput(const NativeInput& other) { *this = other; }
  NativeInput& operator=(const NativeInput& other);

  // Binds the input to `stream` for one call; `window` says whether the
  // stream's class reads from its window (see CKXSQLStreamT::ReadsWindow).
  void Attach(CKXSQLStreamT<T>& stream, bool window);
  // Gives the reading position back to the stream.
  void Detach() noexcept;

  // The characters ready to read: [Pos(), End()) in one piece of memory.
  const T* Pos() const noexcept { return pos_; }
  const T* End() const noexcept { return end_; }
  void SetPos(const T* pos) noexcept { pos_ = pos; }
  void Advance(std::size_t n = 1) noexcept { pos_ += n; }
  // Reading the stream's window in place: [Pos(), End()) is the rest of it,
  // and nothing was read ahead of it.
  bool InWindow() const noexcept { return mode_ == Mode::kWindow; }

  // The statement being built from this input's characters, which it
  // brings in before it moves or drops characters; null when none.
  void SetBuilder(StatementBuilder<T>* builder) noexcept { builder_ = builder; }

  // Starts a token at Pos(): from here on, its characters stay in one piece
  // whatever More reads, until the next Mark.
  void Mark() {
    if (mode_ == Mode::kBuffer) {
      FlushBuilder();
      LeaveBuffer();
    }
    start_ = pos_;
  }
  const T* Start() const noexcept { return start_; }

  // Reads more characters behind End(), keeping [Start(), End()) in one
  // piece (Pos() and End() may move to other memory). False when the input
  // has ended or the source failed (Failed()).
  bool More();
  bool Failed() const noexcept { return failed_; }

  // At least `n` characters from Pos() are ready; false when the input ends
  // before.
  bool Ensure(std::size_t n) {
    while (static_cast<std::size_t>(end_ - pos_) < n)
      if (!More()) return false;
    return true;
  }
  // No character is left.
  bool AtEnd() { return pos_ == end_ && !More(); }
  // The character at Pos() (call only when one is ready).
  T Peek() const noexcept { return *pos_; }
  // The character `k` places after Pos(), or 0 when the input ends first.
  T PeekAt(std::size_t k) { return Ensure(k + 1) ? pos_[k] : T(0); }

  // Skips characters while `pred` holds, over chunk ends, up to the end of
  // the input.
  template <class Pred>
  void SkipWhile(Pred pred) {
    for (;;) {
      const T* p = pos_;
      const T* const e = end_;
      while (p < e && pred(*p)) ++p;
      pos_ = p;
      if (p < e || !More()) return;
    }
  }

  // Skips to the next `c`, over chunk ends, or to the end of the input.
  void SkipTo(T c) {
    for (;;) {
      const T* found = FindChar(pos_, end_, c);
      if (found != nullptr) {
        pos_ = found;
        return;
      }
      pos_ = end_;
      if (!More()) return;
    }
  }

  // Characters read ahead of the stream's position are waiting in the buffer.
  bool HasReadAhead() const noexcept { return mode_ != Mode::kWindow && pos_ < end_; }

  // Puts `n` characters back in front of Pos(): the next reads deliver them
  // first. Used when a client reads its inline data before the rest of the
  // line that started it.
  void Unread(const T* text, std::size_t n);

 private:
  enum class Mode : unsigned char {
    kWindow,  // reading the stream's window in place
    kBuffer,  // reading buffer_: a token moved out of the last chunk, then a copy of the window
    kChars,   // reading buffer_, filled through GetChar one character at a time
  };

  // Fills the buffer with what is kept of the current run and the next
  // characters of the stream.
  bool FillBuffer();
  // Back to reading the window in place, once reading is past the moved part.
  void LeaveBuffer() noexcept;
  // Empties the buffer, giving a large one's memory back.
  void ClearBuffer() noexcept;
  void FlushBuilder();
  // The next characters from the stream into buffer_: the rest of the
  // window, or a new chunk. False at the end or on failure.
  bool TakeFromStream();

  CKXSQLStreamT<T>* stream_ = nullptr;
  StatementBuilder<T>* builder_ = nullptr;  // not copied
  Mode mode_ = Mode::kWindow;
  const T* pos_ = nullptr;
  const T* end_ = nullptr;
  const T* start_ = nullptr;
  bool failed_ = false;

  std::basic_string<T> buffer_;
  // In kBuffer mode, buffer_[window_at_..] is a copy of the stream's window
  // from window_pos_ on, and the stream's own position stays at window_pos_
  // until reading returns to the window.
  std::size_t window_at_ = 0;
  const T* window_pos_ = nullptr;
};

}  // namespace kxsql::detail
