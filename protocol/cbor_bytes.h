#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QtEndian>
#include <optional>

// CBOR items written and read by hand, for open replies: their rows are most of the bytes on the
// wire, and a general encoder or decoder pays for every value what these pay once per frame.
namespace protocol::cbor {

enum Major : quint8 {
  Unsigned = 0,
  Negative = 1,
  Bytes = 2,
  Text = 3,
  Array = 4,
  Map = 5,
  Tag = 6
};

// Writes an item head (major type and argument) in its shortest form, as QCborValue writes it,
// at `at`, which has room for 9 bytes; the bytes written.
inline int putHead(char* at, quint8 major, quint64 n) {
  const char type = char(major << 5);
  if (n < 24) {
    at[0] = char(type | char(n));
    return 1;
  }
  if (n <= 0xff) {
    at[0] = char(type | 24);
    at[1] = char(n);
    return 2;
  }
  if (n <= 0xffff) {
    at[0] = char(type | 25);
    qToBigEndian<quint16>(quint16(n), at + 1);
    return 3;
  }
  if (n <= 0xffffffffu) {
    at[0] = char(type | 26);
    qToBigEndian<quint32>(quint32(n), at + 1);
    return 5;
  }
  at[0] = char(type | 27);
  qToBigEndian<quint64>(n, at + 1);
  return 9;
}

// Writes an integer item the same way; the bytes written.
inline int putInteger(char* at, qint64 value) {
  return value >= 0 ? putHead(at, Unsigned, quint64(value))
                    : putHead(at, Negative, quint64(-1 - value));
}

// Reads items from bytes that outlive it. A read that does not find the item asked for returns
// false and leaves the reader failed; nothing is read past the end.
class Reader {
 public:
  // An array or map entered: its items left, or until a break when its length was not given.
  struct Container {
    quint64 left = 0;
    bool indefinite = false;
  };

  explicit Reader(QByteArrayView bytes)
      : at_(reinterpret_cast<const uchar*>(bytes.data())), end_(at_ + bytes.size()) {}

  bool failed() const { return failed_; }
  // The major type of the next item; none at the end.
  std::optional<quint8> peekMajor() const {
    return at_ < end_ ? std::optional<quint8>(*at_ >> 5) : std::nullopt;
  }
  // Whether the next item is `simple` (0xf4 false, 0xf5 true, 0xf6 null), without taking it.
  bool nextIs(uchar simple) const { return at_ < end_ && *at_ == simple; }

  // Enters an array or map (`major`), its items to be taken while more() says so.
  bool enter(quint8 major, Container* container);
  // True while `container` has another item; false at its end (taking the break of one whose
  // length was not given) and when the bytes fail.
  bool more(Container& container);

  // Takes a null when it is next.
  bool takeNull() {
    if (!nextIs(0xf6)) return false;
    ++at_;
    return true;
  }
  bool boolean(bool* value);
  // An integer that a qint64 holds.
  bool integer(qint64* value);
  // A text, valid UTF-8: a view into the bytes, or of chunks joined in `scratch`.
  bool text(QByteArrayView* utf8, QByteArray* scratch);
  // One whole item of any kind.
  bool skip() { return skip(0); }

 private:
  static constexpr int kMostDepth = 64;

  bool fail() {
    failed_ = true;
    return false;
  }
  bool head(quint8* major, quint64* n, bool* indefinite);
  bool skip(int depth);
  bool skipChunks(quint8 major);

  const uchar* at_;
  const uchar* end_;
  bool failed_ = false;
};

}  // namespace protocol::cbor
