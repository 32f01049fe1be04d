#include "tests/support/frame_fuzzer.h"

#include <sys/socket.h>

#include <QCborArray>
#include <QThread>
#include <QtEndian>

#include "protocol/frame.h"
#include "protocol/messages.h"
#include "tests/support/wire_client.h"

namespace {

// Requests name these; not the accounts' provider, so the run never deletes its own account.
const char* const kOps[] = {"hello", "signin", "open", "apply", "draw", "bye", "shutdown", ""};
const char* const kKeys[] = {"op",   "object", "version",  "id",    "password", "provider",
                             "text", "params", "key",      "parts", "changes",  "kind",
                             "rid",  "values", "original", "table", "name",     "id_num"};
const char* const kTexts[] = {"DataSetProvider_info",
                              "DataSetProvider_search",
                              "DataSetProvider_shgx",
                              "DataSetProvider_count",
                              "DataSetProvider_gzdd",
                              "insert",
                              "update",
                              "delete",
                              "shgx",
                              "info",
                              "select * from info",
                              "select id from info where id=?",
                              "rirev.rirev_qrvt",
                              "id",
                              "name",
                              "password",
                              "qx",
                              "'; drop table info; --",
                              "\xe5\xbc\xa0\xe4\xb8\x89"};

QByteArray framed(const QByteArray& body) {
  QByteArray frame(4, Qt::Uninitialized);
  qToBigEndian<quint32>(quint32(body.size()), frame.data());
  return frame + body;
}

}  // namespace

QString FrameFuzzer::randomText() {
  switch (below(4)) {
    case 0: {
      QString text;
      for (int i = below(12); i > 0; --i) text += QChar(char16_t(random_.bounded(1, 0x3000)));
      return text;
    }
    case 1:
      return QString(below(3000), QChar(u'x'));
    default:
      return QString::fromUtf8(kTexts[below(int(std::size(kTexts)))]);
  }
}

QCborValue FrameFuzzer::randomValue(int depth) {
  switch (below(depth > 3 ? 6 : 8)) {
    case 0:
      return QCborValue();
    case 1:
      return QCborValue(qint64(random_.generate64()));
    case 2:
      return QCborValue(qint64(below(200)) - 5);
    case 3:
      return QCborValue(random_.generateDouble() * 1e6);
    case 4:
    case 5:
      return QCborValue(randomText());
    case 6: {
      QCborArray array;
      for (int i = below(6); i > 0; --i) array.append(randomValue(depth + 1));
      return array;
    }
    default: {
      QCborMap map;
      for (int i = below(6); i > 0; --i)
        map.insert(QString::fromLatin1(kKeys[below(int(std::size(kKeys)))]),
                   randomValue(depth + 1));
      return map;
    }
  }
}

QCborMap FrameFuzzer::validRequest() {
  switch (below(5)) {
    case 0:
      return protocol::Hello{}.toCbor();
    case 1:
      return protocol::SignInRequest{randomText(), randomText()}.toCbor();
    case 2: {
      protocol::OpenRequest open;
      open.provider = QString::fromUtf8(kTexts[below(5)]);
      open.text = randomText();
      open.params = {randomText(), qint64(below(10))};
      return open.toCbor();
    }
    case 3: {
      protocol::Change change;
      change.kind = protocol::Change::Kind(below(3));
      change.rid = below(5);
      change.values = {{QStringLiteral("id"), randomText()}, {QStringLiteral("name"), 1}};
      return protocol::ApplyRequest{
          {{protocol::OpenRequest{QString::fromUtf8(kTexts[below(5)]), {}, {}, std::nullopt},
            {change}}}}
          .toCbor();
    }
    default:
      return protocol::DrawRequest{randomText()}.toCbor();
  }
}

QByteArray FrameFuzzer::mutated(QByteArray frame) {
  for (int n = 1 + below(4); n > 0 && !frame.isEmpty(); --n) {
    const int at = below(int(frame.size()));
    switch (below(6)) {
      case 0:
        frame[at] = char(frame[at] ^ (1 << below(8)));
        break;
      case 1:
        frame[at] = char(random_.bounded(256));
        break;
      case 2:
        frame.insert(at, char(random_.bounded(256)));
        break;
      case 3:
        frame.remove(at, 1 + below(8));
        break;
      case 4:
        frame.truncate(at);
        break;
      default:  // a length that disagrees with the body
        if (frame.size() >= 4) qToBigEndian<quint32>(quint32(random_.generate()), frame.data());
    }
  }
  return frame;
}

QByteArray FrameFuzzer::guestFrame() {
  switch (below(4)) {
    case 0: {
      QByteArray bytes(below(200), Qt::Uninitialized);
      for (char& b : bytes) b = char(random_.bounded(256));
      return below(2) ? framed(bytes) : bytes;
    }
    case 1:
      return framed(randomValue(0).toCbor());
    default:
      return mutated(protocol::encodeFrame(validRequest()));
  }
}

QCborMap FrameFuzzer::memberRequest() {
  QCborMap request = below(3) ? validRequest() : randomValue(0).toMap();
  for (int i = below(4); i > 0; --i)
    request.insert(QString::fromLatin1(kKeys[below(int(std::size(kKeys)))]), randomValue(1));
  if (below(4)) request.insert(QStringLiteral("op"), QString::fromLatin1(kOps[2 + below(3)]));
  // Neither ends the member connection on purpose.
  if (protocol::opOf(request) == protocol::op::kBye ||
      protocol::opOf(request) == protocol::op::kSignIn)
    request.insert(QStringLiteral("op"), protocol::op::kOpen);
  return request;
}

namespace {

// Sends one byte-level frame on a fresh connection, then half-closes so the server need not
// wait for bytes that will never come, and reads until the server closes.
void sendAsGuest(const QString& host, quint16 port, const QByteArray& frame, bool hello,
                 FuzzTally& tally) {
  WireClient client;
  if (!client.connectTo(host, port, hello)) {
    if (!client.error().isEmpty()) ++tally.closed;
    return;
  }
  client.sendRaw(frame);
  ::shutdown(int(client.descriptor()), SHUT_WR);
  if (client.readReply()) ++tally.answered;
  if (client.waitForClosed(10000)) ++tally.closed;
}

// A signed-in connection. The guests' failed sign-ins make the server throttle this address
// for a while; the sign-in is tried again until the delay has passed (at most about 10 s).
std::unique_ptr<WireClient> member(const QString& host, quint16 port, const QString& id,
                                   const QString& password) {
  auto client = std::make_unique<WireClient>();
  if (!client->connectTo(host, port)) return nullptr;
  for (int attempt = 0; attempt < 200; ++attempt) {
    const Answer<protocol::SignInReply> reply = client->signIn(id, password);
    if (reply.ok())
      return reply->outcome == protocol::SignInOutcome::SignedIn ? std::move(client) : nullptr;
    QThread::msleep(50);
  }
  return nullptr;
}

}  // namespace

FuzzTally fuzzServer(const QString& host, quint16 port, const QString& id, const QString& password,
                     int count, quint32 seed) {
  FrameFuzzer fuzzer(seed);
  QRandomGenerator choose(seed ^ 0x5eed);
  FuzzTally tally;
  std::unique_ptr<WireClient> signedIn;
  for (; tally.frames < count; ++tally.frames) {
    if (choose.bounded(3) != 0) {
      sendAsGuest(host, port, fuzzer.guestFrame(), choose.bounded(2) == 0, tally);
      continue;
    }
    if (!signedIn) signedIn = member(host, port, id, password);
    if (!signedIn) {
      tally.failure = QStringLiteral("cannot sign in after %1 frames").arg(tally.frames);
      return tally;
    }
    if (signedIn->call(fuzzer.memberRequest())) {
      ++tally.answered;
    } else {
      // A well-formed request must be answered, not end the connection.
      tally.failure = QStringLiteral("frame %1 closed a signed-in connection: %2")
                          .arg(tally.frames)
                          .arg(signedIn->error());
      return tally;
    }
  }
  std::unique_ptr<WireClient> after = member(host, port, id, password);
  const Answer<protocol::Packet> counter =
      after ? after->open({QStringLiteral("DataSetProvider_count"), {}, {}, std::nullopt})
            : Answer<protocol::Packet>{std::nullopt, QStringLiteral("cannot sign in")};
  if (!counter.ok())
    tally.failure = QStringLiteral("the server no longer serves after %1 frames: %2")
                        .arg(count)
                        .arg(counter.error);
  return tally;
}
