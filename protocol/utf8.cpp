#include "protocol/utf8.h"

#include <cstring>

namespace protocol {

bool isValidUtf8(QByteArrayView bytes) {
  const auto* at = reinterpret_cast<const uchar*>(bytes.data());
  const uchar* const end = at + bytes.size();
  while (at < end) {
    const uchar lead = *at;
    if (lead < 0x80) {  // ASCII, then any more of it a word at a time
      ++at;
      while (end - at >= 8) {
        quint64 word;
        std::memcpy(&word, at, sizeof word);
        if (word & 0x8080808080808080u) break;
        at += 8;
      }
      continue;
    }
    // Most Chinese text: a lead of E1..EC or EE..EF and two continuation bytes.
    if (end - at >= 3 && uchar(lead - 0xe1) <= 0x0e && lead != 0xed && (at[1] & 0xc0) == 0x80 &&
        (at[2] & 0xc0) == 0x80) {
      at += 3;
      continue;
    }
    // The bytes that follow the lead, and the range of the first of them (which rules out
    // overlong forms, surrogates and code points past U+10FFFF).
    int more = 0;
    uchar low = 0x80, high = 0xbf;
    if (lead >= 0xc2 && lead <= 0xdf) {
      more = 1;
    } else if (lead >= 0xe0 && lead <= 0xef) {
      more = 2;
      if (lead == 0xe0) low = 0xa0;
      if (lead == 0xed) high = 0x9f;
    } else if (lead >= 0xf0 && lead <= 0xf4) {
      more = 3;
      if (lead == 0xf0) low = 0x90;
      if (lead == 0xf4) high = 0x8f;
    } else {
      return false;
    }
    if (end - at <= more || at[1] < low || at[1] > high) return false;
    for (int i = 2; i <= more; ++i)
      if ((at[i] & 0xc0) != 0x80) return false;
    at += more + 1;
  }
  return true;
}

}  // namespace protocol
