// X's count of a post's length: the weighted length of its text as X measures it. Most
// Latin, Greek, Cyrillic and similar characters weigh 1, others (CJK among them) 2, every
// emoji (with its skin tone or joined sequence) 2 and every link 23; a post may weigh 280.
// The text is compared in Unicode normal form C, as X does.
#pragma once
#include <string>

namespace twitter {

constexpr int kMaxWeightedLength = 280;

// The weighted length of UTF-8 text. Invalid UTF-8 counts each bad byte as one replacement
// character (weight 2).
int WeightedLength(const std::string& utf8);

}  // namespace twitter
