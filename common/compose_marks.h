// Canonical composition of the combining marks that text bound for the
// local code page (932) meets: file names written in decomposed form (as
// Mac mail programs send them) carry the kana voiced and semi-voiced sound
// marks, and Cyrillic the breve and diaeresis, as separate combining
// characters that the code page has no place for; their precomposed
// characters it does have.
#pragma once

#include <string>

namespace common {

// Replaces each base character followed by a combining mark that composes
// with it by the precomposed character, as NFC does for these marks.
void ComposeCombiningMarks(std::u16string& text);

}  // namespace common
