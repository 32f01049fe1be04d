#include "protocol/frame.h"

#include <QAbstractSocket>
#include <QBuffer>
#include <QCborStreamReader>
#include <QCborStreamWriter>
#include <QCborValue>
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
  return encodeStreamedFrame(
      [&message](QCborStreamWriter& writer) { QCborValue(message).toCbor(writer); });
}

QByteArray encodeStreamedFrame(const std::function<void(QCborStreamWriter&)>& writeBody) {
  QByteArray frame(4, Qt::Uninitialized);
  QBuffer buffer(&frame);
  buffer.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered);
  QCborStreamWriter writer(&buffer);
  writeBody(writer);
  qToBigEndian<quint32>(quint32(frame.size() - 4), frame.data());
  return frame;
}

std::optional<QByteArray> readFrameBody(QIODevice& device, int timeoutMs, QString* error) {
  QByteArray header;
  if (!readExactly(device, 4, timeoutMs, &header, error)) return std::nullopt;
  const quint32 length = qFromBigEndian<quint32>(header.constData());
  if (length > kMaxFrameBytes) {
    *error = QStringLiteral("报文过长（%1 字节）").arg(length);
    return std::nullopt;
  }
  QByteArray body;
  if (!readExactly(device, length, timeoutMs, &body, error)) return std::nullopt;
  return body;
}

std::optional<QCborMap> parseFrameBody(const QByteArray& body, QString* error) {
  QCborStreamReader reader(body);
  const QCborValue value = QCborValue::fromCbor(reader);
  // One map and nothing after it: bytes past the map are not ignored.
  if (reader.lastError() != QCborError::NoError || !value.isMap() ||
      reader.currentOffset() != body.size()) {
    *error = kUnreadableFrame;
    return std::nullopt;
  }
  return value.toMap();
}

std::optional<QCborMap> readFrame(QIODevice& device, int timeoutMs, QString* error) {
  const std::optional<QByteArray> body = readFrameBody(device, timeoutMs, error);
  return body ? parseFrameBody(*body, error) : std::nullopt;
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
