#pragma once

#include <QByteArray>
#include <QCborMap>
#include <QRandomGenerator>
#include <QString>

// Random and mutated request frames, the same ones for the same seed, and a run of them
// against a server. Two streams: byte-level frames (random bytes, valid requests with bytes
// flipped, cut, inserted or a wrong length) sent on connections that have not signed in, each
// on its own connection; and random request maps (known ops, random fields and values) sent
// on one signed-in connection, which the server must answer without closing.
class FrameFuzzer {
 public:
  explicit FrameFuzzer(quint32 seed) : random_(seed) {}

  // A frame for a connection that has not signed in: the raw bytes to send.
  QByteArray guestFrame();
  // A request map for a signed-in connection.
  QCborMap memberRequest();

 private:
  QCborValue randomValue(int depth);
  QString randomText();
  QCborMap validRequest();
  QByteArray mutated(QByteArray frame);
  int below(int n) { return int(random_.bounded(quint32(n))); }

  QRandomGenerator random_;
};

// What a fuzz run saw.
struct FuzzTally {
  int frames = 0;
  int answered = 0;  // a reply came back
  int closed = 0;    // the server closed the connection (after a reply or without one)
  QString failure;   // set when the server stopped serving
};

// Sends `count` frames from a FrameFuzzer(seed) to the server at host:port: about two in three
// byte-level frames on fresh connections, the rest as requests on a connection signed in as
// `id`. Then checks that the server still serves a fresh sign-in.
FuzzTally fuzzServer(const QString& host, quint16 port, const QString& id, const QString& password,
                     int count, quint32 seed);
