#include "protocol/frame.h"

#include <QCborValue>
#include <QAbstractSocket>
#include <QIODevice>
#include <QtEndian>
#include <algorithm>

namespace protocol {

namespace {

// Reads exactly `size` bytes, waiting for more as needed. The buffer grows with what has
// arrived, so a length prefix alone never makes the reader allocate a whole frame.
bool readExactly(QIODevice& device, qint64 size, int timeoutMs, QByteArray* out, QString* error) {
  constexpr qint64 kChunk = 1 << 20;
  out->clear();
  while (out->size() < size) {
    if (device.bytesAvailable() == 0 && !device.waitForReadyRead(timeoutMs)) {
      const auto* socket = qobject_cast<const QAbstractSocket*>(&device);
      const bool connected =
          socket ? socket->state() == QAbstractSocket::ConnectedState : device.isOpen();
      *error = connected ? QStringLiteral("等待对方应答超时")
                         : QStringLiteral("连接已断开：%1").arg(device.errorString());
      return false;
    }
    const qint64 done = out->size();
    out->resize(done + std::min(size - done, std::max(device.bytesAvailable(), kChunk)));
    const qint64 n = device.read(out->data() + done, out->size() - done);
    if (n < 0) {
      *error = QStringLiteral("读取失败：%1").arg(device.errorString());
      return false;
    }
    out->resize(done + n);
  }
  return true;
}

}  // namespace

QByteArray encodeFrame(const QCborMap& message) {
  const QByteArray body = QCborValue(message).toCbor();
  QByteArray frame(4, Qt::Uninitialized);
  qToBigEndian<quint32>(quint32(body.size()), frame.data());
  return frame + body;
}

std::optional<QCborMap> readFrame(QIODevice& device, int timeoutMs, QString* error) {
  QByteArray header;
  if (!readExactly(device, 4, timeoutMs, &header, error)) return std::nullopt;
  const quint32 length = qFromBigEndian<quint32>(header.constData());
  if (length > kMaxFrameBytes) {
    *error = QStringLiteral("报文过长（%1 字节）").arg(length);
    return std::nullopt;
  }
  QByteArray body;
  if (!readExactly(device, length, timeoutMs, &body, error)) return std::nullopt;
  QCborParserError parseError;
  const QCborValue value = QCborValue::fromCbor(body, &parseError);
  if (parseError.error != QCborError::NoError || !value.isMap()) {
    *error = QStringLiteral("报文无法解析");
    return std::nullopt;
  }
  return value.toMap();
}

bool writeFrame(QIODevice& device, const QCborMap& message, int timeoutMs, QString* error) {
  const QByteArray frame = encodeFrame(message);
  if (device.write(frame) != frame.size()) {
    *error = QStringLiteral("发送失败：%1").arg(device.errorString());
    return false;
  }
  while (device.bytesToWrite() > 0) {
    if (!device.waitForBytesWritten(timeoutMs)) {
      *error = QStringLiteral("发送失败：%1").arg(device.errorString());
      return false;
    }
  }
  return true;
}

}  // namespace protocol
