#include "protocol/cbor_bytes.h"

#include <limits>

#include "protocol/utf8.h"

namespace protocol::cbor {

namespace {
constexpr quint64 kMostInteger = quint64(std::numeric_limits<qint64>::max());
constexpr uchar kBreak = 0xff;
}  // namespace

bool Reader::head(quint8* major, quint64* n, bool* indefinite) {
  if (at_ == end_) return fail();
  const uchar first = *at_++;
  *major = first >> 5;
  *indefinite = false;
  const uchar info = first & 31;
  if (info < 24) {
    *n = info;
    return true;
  }
  if (info == 31) {  // a length not given: only strings, arrays and maps have one
    *indefinite = true;
    *n = 0;
    return (*major >= Bytes && *major <= Map) || fail();
  }
  if (info > 27) return fail();
  const qsizetype size = qsizetype(1) << (info - 24);
  if (end_ - at_ < size) return fail();
  quint64 value = 0;
  for (qsizetype i = 0; i < size; ++i) value = value << 8 | at_[i];
  at_ += size;
  *n = value;
  return true;
}

bool Reader::enter(quint8 major, Container* container) {
  quint8 found = 0;
  if (!head(&found, &container->left, &container->indefinite)) return false;
  return found == major || fail();
}

bool Reader::more(Container& container) {
  if (failed_) return false;
  if (!container.indefinite) {
    if (container.left == 0) return false;
    --container.left;
    return true;
  }
  if (at_ == end_) return fail();
  if (*at_ != kBreak) return true;
  ++at_;
  return false;
}

bool Reader::boolean(bool* value) {
  if (!nextIs(0xf4) && !nextIs(0xf5)) return fail();
  *value = *at_++ == 0xf5;
  return true;
}

bool Reader::integer(qint64* value) {
  quint8 major = 0;
  quint64 n = 0;
  bool indefinite = false;
  if (!head(&major, &n, &indefinite)) return false;
  if ((major != Unsigned && major != Negative) || n > kMostInteger) return fail();
  *value = major == Unsigned ? qint64(n) : -1 - qint64(n);
  return true;
}

bool Reader::text(QByteArrayView* utf8, QByteArray* scratch) {
  quint8 major = 0;
  quint64 n = 0;
  bool indefinite = false;
  if (!head(&major, &n, &indefinite) || major != Text) return fail();
  if (!indefinite) {
    if (n > quint64(end_ - at_)) return fail();
    *utf8 = QByteArrayView(at_, qsizetype(n));
    at_ += n;
  } else {
    scratch->clear();
    while (true) {
      if (at_ == end_) return fail();
      if (*at_ == kBreak) break;
      if (!head(&major, &n, &indefinite) || major != Text || indefinite || n > quint64(end_ - at_))
        return fail();
      scratch->append(reinterpret_cast<const char*>(at_), qsizetype(n));
      at_ += n;
    }
    ++at_;
    *utf8 = *scratch;
  }
  return isValidUtf8(*utf8) || fail();
}

bool Reader::skipChunks(quint8 major) {
  while (true) {
    if (at_ == end_) return fail();
    if (*at_ == kBreak) {
      ++at_;
      return true;
    }
    quint8 chunk = 0;
    quint64 n = 0;
    bool indefinite = false;
    if (!head(&chunk, &n, &indefinite) || chunk != major || indefinite || n > quint64(end_ - at_))
      return fail();
    at_ += n;
  }
}

bool Reader::skip(int depth) {
  if (depth > kMostDepth) return fail();
  quint8 major = 0;
  quint64 n = 0;
  bool indefinite = false;
  if (!head(&major, &n, &indefinite)) return false;
  switch (major) {
    case Bytes:
    case Text:
      if (indefinite) return skipChunks(major);
      if (n > quint64(end_ - at_)) return fail();
      at_ += n;
      return true;
    case Array:
    case Map: {
      // Every item takes a byte at least: a length beyond the bytes left cannot be whole.
      if (n > quint64(end_ - at_)) return fail();
      Container items{major == Map ? 2 * n : n, indefinite};
      while (more(items))
        if (!skip(depth + 1)) return false;
      return !failed_;
    }
    case Tag:
      return skip(depth + 1);
    default:  // integers, simple values and floats: the head is the whole item
      return true;
  }
}

}  // namespace protocol::cbor
