#include "protocol/messages.h"

#include <QCborArray>
#include <algorithm>
#include <iterator>

namespace protocol {

namespace {

const QString kOp = QStringLiteral("op");

QCborMap request(const QString& name) {
  QCborMap m;
  m[kOp] = name;
  return m;
}

QCborArray listToCbor(const QVariantList& values) {
  QCborArray a;
  for (const QVariant& v : values) a.append(toCbor(v));
  return a;
}

QCborMap mapToCbor(const QVariantMap& values) {
  QCborMap m;
  for (auto it = values.begin(); it != values.end(); ++it) m[it.key()] = toCbor(it.value());
  return m;
}

const char* const kOutcomes[] = {"signed-in", "no-such-account", "wrong-password", "no-valid-role"};
}  // namespace

QCborValue toCbor(const QVariant& value) {
  return withWireValue(value, [](const auto& v) { return QCborValue(v); });
}

QVariant fromCbor(const QCborValue& value) {
  if (value.isInteger()) return QVariant(qint64(value.toInteger()));
  if (value.isString()) return QVariant(value.toString());
  if (value.isDouble()) return QVariant(value.toDouble());
  return QVariant();
}

QString opOf(const QCborMap& request) { return request.value(kOp).toString(); }

QCborMap byeRequest() { return request(op::kBye); }

QCborMap okReply() {
  QCborMap m;
  m[key::kOk] = true;
  return m;
}

QCborMap errorReply(const QString& reason) {
  QCborMap m;
  m[key::kOk] = false;
  m[key::kError] = reason;
  return m;
}

std::optional<QString> replyError(const QCborMap& reply) {
  if (reply.value(key::kOk).toBool()) return std::nullopt;
  const QString reason = reply.value(key::kError).toString();
  return reason.isEmpty() ? QStringLiteral("服务器拒绝了请求") : reason;
}

QCborMap Hello::toCbor() const {
  QCborMap m = request(op::kHello);
  m[QStringLiteral("object")] = object;
  m[QStringLiteral("version")] = version;
  return m;
}

QCborMap SignInRequest::toCbor() const {
  QCborMap m = request(op::kSignIn);
  m[QStringLiteral("id")] = id;
  m[QStringLiteral("password")] = password;
  return m;
}

QCborMap SignInReply::toCbor() const {
  QCborMap m = okReply();
  m[QStringLiteral("outcome")] = QString::fromLatin1(kOutcomes[int(outcome)]);
  m[QStringLiteral("role")] = role;
  return m;
}

SignInReply SignInReply::fromCbor(const QCborMap& m) {
  SignInReply r;
  const QString outcome = m.value(QStringLiteral("outcome")).toString();
  for (int i = 0; i < 4; ++i)
    if (outcome == QLatin1String(kOutcomes[i])) r.outcome = SignInOutcome(i);
  r.role = int(m.value(QStringLiteral("role")).toInteger(-1));
  return r;
}

QCborMap OpenRequest::toCbor() const {
  QCborMap m = request(op::kOpen);
  m[QStringLiteral("provider")] = provider;
  if (!text.isEmpty()) m[QStringLiteral("text")] = text;
  if (!params.isEmpty()) m[QStringLiteral("params")] = listToCbor(params);
  if (personKey) m[QStringLiteral("key")] = *personKey;
  return m;
}

QCborMap Change::toCbor() const {
  QCborMap m;
  m[QStringLiteral("kind")] = QString::fromLatin1(Change::kKindNames[int(kind)]);
  m[QStringLiteral("rid")] = rid;
  m[QStringLiteral("original")] = mapToCbor(original);
  m[QStringLiteral("values")] = mapToCbor(values);
  return m;
}

QCborMap ApplyRequest::toCbor() const {
  QCborMap m = request(op::kApply);
  QCborArray partsArray;
  for (const ApplyPart& part : parts) {
    QCborMap p = part.source.toCbor();
    p.remove(kOp);
    QCborArray changes;
    for (const Change& c : part.changes) changes.append(c.toCbor());
    p[QStringLiteral("changes")] = changes;
    partsArray.append(p);
  }
  m[QStringLiteral("parts")] = partsArray;
  return m;
}

QCborMap ApplyReply::toCbor() const {
  QCborMap m = okReply();
  QCborArray a;
  for (qint64 rid : insertedRids) a.append(rid);
  m[QStringLiteral("inserted")] = a;
  return m;
}

ApplyReply ApplyReply::fromCbor(const QCborMap& m) {
  ApplyReply r;
  for (const QCborValue& v : m.value(QStringLiteral("inserted")).toArray())
    r.insertedRids << v.toInteger();
  return r;
}

QCborMap DrawRequest::toCbor() const {
  QCborMap m = request(op::kDraw);
  m[QStringLiteral("table")] = table;
  return m;
}

QCborMap DrawReply::toCbor() const {
  QCborMap m = okReply();
  m[QStringLiteral("value")] = value;
  return m;
}

DrawReply DrawReply::fromCbor(const QCborMap& m) {
  return {m.value(QStringLiteral("value")).toInteger()};
}

QCborMap ReviewRequest::toCbor() const {
  QCborMap m = request(op::kReview);
  m[QStringLiteral("person")] = person;
  return m;
}

QCborMap ReviewReply::toCbor() const {
  QCborMap m = okReply();
  m[QStringLiteral("reviewed")] = reviewed;
  return m;
}

ReviewReply ReviewReply::fromCbor(const QCborMap& m) {
  return {m.value(QStringLiteral("reviewed")).toBool()};
}

}  // namespace protocol
