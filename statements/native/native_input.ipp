// NativeInput<T>: reading the source's window in place, and a buffer of our
// own for the token that runs over a chunk's end.
#pragma once

#include "statements/native/native_input.h"
#include "statements/statement_builder.h"

namespace kxsql::detail {

template <class T>
NativeInput<T>& NativeInput<T>::operator=(const NativeInput& other) {
  if (this == &other) return *this;
  stream_ = nullptr;
  mode_ = other.mode_;
  failed_ = other.failed_;
  window_at_ = other.window_at_;
  window_pos_ = other.window_pos_;
  buffer_ = other.buffer_;
  if (mode_ == Mode::kWindow) {
    // The copied stream shares the caller's text, so the window pointers hold.
    pos_ = other.pos_;
    end_ = other.end_;
    start_ = other.start_;
  } else {
    const T* const base = other.buffer_.data();
    pos_ = buffer_.data() + (other.pos_ - base);
    end_ = buffer_.data() + buffer_.size();
    start_ = buffer_.data() + (other.start_ - base);
  }
  return *this;
}

template <class T>
void NativeInput<T>::Attach(CKXSQLStreamT<T>& stream, bool window) {
  stream_ = &stream;
  failed_ = false;
  if (!window) {
    // Every character goes through GetChar into the buffer.
    if (mode_ != Mode::kChars) {
      mode_ = Mode::kChars;
      buffer_.clear();
      pos_ = start_ = end_ = buffer_.data();
    }
    return;
  }
  if (mode_ == Mode::kBuffer && stream.m_pWindowPos == window_pos_) return;  // read on in the buffer
  // Detach left the stream where reading stands: read its window in place.
  mode_ = Mode::kWindow;
  ClearBuffer();
  pos_ = start_ = stream.m_pWindowPos;
  end_ = stream.m_pWindowEnd;
}

template <class T>
void NativeInput<T>::Detach() noexcept {
  if (stream_ == nullptr) return;
  if (mode_ == Mode::kBuffer) LeaveBuffer();
  if (mode_ == Mode::kWindow) stream_->m_pWindowPos = pos_;
  stream_ = nullptr;
}

template <class T>
void NativeInput<T>::ClearBuffer() noexcept {
  // A huge token (a long string literal) is not held on to for the rest of
  // the script: the statement that holds it now runs without this copy.
  constexpr std::size_t kKeptCapacity = std::size_t{1} << 20;
  if (buffer_.capacity() > kKeptCapacity) std::basic_string<T>().swap(buffer_);
  else buffer_.clear();
}

template <class T>
void NativeInput<T>::LeaveBuffer() noexcept {
  // Still inside the characters moved out of the last chunk: stay.
  const std::size_t at = static_cast<std::size_t>(pos_ - buffer_.data());
  if (at < window_at_) return;
  const T* const pos = window_pos_ + (at - window_at_);
  mode_ = Mode::kWindow;
  ClearBuffer();
  pos_ = start_ = pos;
  end_ = stream_->m_pWindowEnd;
}

template <class T>
bool NativeInput<T>::TakeFromStream() {
  CKXSQLStreamT<T>& stream = *stream_;
  if (mode_ != Mode::kChars) {
    // The rest of the window first, then the next chunk.
    if (stream.m_pWindowPos == nullptr || stream.m_pWindowPos >= stream.m_pWindowEnd) {
      bool eof = false;
      const T c = stream.GetChar(eof);
      if (eof) {
        // The all-ones value with the end means that the source cannot deliver.
        failed_ = static_cast<std::make_unsigned_t<T>>(c) == static_cast<std::make_unsigned_t<T>>(~T(0));
        return false;
      }
      if (!stream.IsOpen()) {
        failed_ = true;
        return false;
      }
      const bool in_window = stream.m_pWindowBegin != nullptr && stream.m_pWindowPos == stream.m_pWindowBegin + 1 &&
                             *stream.m_pWindowBegin == c;
      // The character is the window's first: the window is read from its
      // start. A source that delivered it from elsewhere keeps it in front.
      if (in_window) stream.m_pWindowPos = stream.m_pWindowBegin;
      else buffer_.push_back(c);
    }
    window_at_ = buffer_.size();
    window_pos_ = stream.m_pWindowPos;
    if (window_pos_ == nullptr) return true;
    buffer_.append(stream.m_pWindowPos, static_cast<std::size_t>(stream.m_pWindowEnd - stream.m_pWindowPos));
    return true;
  }
  bool eof = false;
  const T c = stream.GetChar(eof);
  if (eof) {
    failed_ = static_cast<std::make_unsigned_t<T>>(c) == static_cast<std::make_unsigned_t<T>>(~T(0));
    return false;
  }
  if (!stream.IsOpen()) {
    failed_ = true;
    return false;
  }
  buffer_.push_back(c);
  return true;
}

template <class T>
void NativeInput<T>::FlushBuilder() {
  if (builder_ != nullptr) builder_->Flush();
}

template <class T>
bool NativeInput<T>::FillBuffer() {
  // The statement's latest tokens may stand in the memory that changes here.
  FlushBuilder();
  // What must stay: the current token from Start() on.
  const std::size_t keep = static_cast<std::size_t>(end_ - start_);
  const std::size_t pos_in_token = static_cast<std::size_t>(pos_ - start_);
  const Mode was = mode_;
  if (was == Mode::kWindow) {
    buffer_.assign(start_, end_);
  } else {
    const std::size_t drop = static_cast<std::size_t>(start_ - buffer_.data());
    buffer_.erase(0, drop);
    window_at_ = window_at_ > drop ? window_at_ - drop : 0;
  }
  // The window's characters are all in the buffer now.
  if (was != Mode::kChars) stream_->m_pWindowPos = stream_->m_pWindowEnd;
  const bool got = TakeFromStream();
  if (!got && was == Mode::kWindow) {
    // Nothing new: the kept characters are still in the window, read them there.
    buffer_.clear();
    end_ = stream_->m_pWindowEnd;
    start_ = end_ - keep;
    pos_ = start_ + pos_in_token;
    return false;
  }
  if (!got && was == Mode::kBuffer) stream_->m_pWindowPos = window_pos_;
  if (was == Mode::kWindow) mode_ = Mode::kBuffer;
  start_ = buffer_.data();
  pos_ = start_ + pos_in_token;
  end_ = buffer_.data() + buffer_.size();
  return got;
}

template <class T>
bool NativeInput<T>::More() {
  if (failed_ || stream_ == nullptr) return false;
  return FillBuffer();
}

template <class T>
void NativeInput<T>::Unread(const T* text, std::size_t n) {
  if (n == 0) return;
  FlushBuilder();
  std::basic_string<T> rest(text, n);
  if (mode_ == Mode::kWindow) {
    // The window from Pos() on stays the stream's: it is read again after `text`.
    stream_->m_pWindowPos = pos_;
    window_at_ = n;
    window_pos_ = pos_;
    rest.append(pos_, static_cast<std::size_t>(end_ - pos_));
    mode_ = Mode::kBuffer;
  } else {
    const std::size_t at = static_cast<std::size_t>(pos_ - buffer_.data());
    rest.append(buffer_, at, std::basic_string<T>::npos);
    if (mode_ == Mode::kBuffer) {
      // Keep window_at_ and window_pos_ naming the same character.
      if (window_at_ >= at) {
        window_at_ = window_at_ - at + n;
      } else {
        window_pos_ += at - window_at_;
        window_at_ = n;
      }
    }
  }
  buffer_.swap(rest);
  pos_ = start_ = buffer_.data();
  end_ = buffer_.data() + buffer_.size();
}

}  // namespace kxsql::detail
