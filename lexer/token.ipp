// SQLToken<T>: the members that are not inline in the header.
#pragma once

#include "kxsql/token.h"

template <class T>
int SQLToken<T>::Compare(const SQLToken& other, bool case_sensitive) const {
  // The type decides before the text: a SYMBOL never equals an SQ_STRING
  // holding the same characters.
  const unsigned int mine = type_->GetCode();
  const unsigned int theirs = other.type_->GetCode();
  if (mine != theirs) return mine < theirs ? -1 : 1;
  if (!case_sensitive && !type_->IsCaseSensitive()) return text_.CompareNoCase(other.text_);
  return text_.Compare(other.text_);
}
