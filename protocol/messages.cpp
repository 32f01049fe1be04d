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

QVariantList listFromCbor(const QCborArray& a) {
  QVariantList values;
  values.reserve(a.size());
  for (const QCborValue& v : a) values << fromCbor(v);
  return values;
}

QCborMap mapToCbor(const QVariantMap& values) {
  QCborMap m;
  for (auto it = values.begin(); it != values.end(); ++it) m[it.key()] = toCbor(it.value());
  return m;
}

QVariantMap mapFromCbor(const QCborMap& m) {
  QVariantMap values;
  for (auto it = m.begin(); it != m.end(); ++it) values[it.key().toString()] = fromCbor(it.value());
  return values;
}

const char* const kOutcomes[] = {"signed-in", "no-such-account", "wrong-password", "no-valid-role"};
const char* const kKinds[] = {"insert", "update", "delete"};

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

Hello Hello::fromCbor(const QCborMap& m) {
  return {m.value(QStringLiteral("object")).toString(),
          int(m.value(QStringLiteral("version")).toInteger())};
}

QCborMap SignInRequest::toCbor() const {
  QCborMap m = request(op::kSignIn);
  m[QStringLiteral("id")] = id;
  m[QStringLiteral("password")] = password;
  return m;
}

SignInRequest SignInRequest::fromCbor(const QCborMap& m) {
  return {m.value(QStringLiteral("id")).toString(), m.value(QStringLiteral("password")).toString()};
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

OpenRequest OpenRequest::fromCbor(const QCborMap& m) {
  OpenRequest r;
  r.provider = m.value(QStringLiteral("provider")).toString();
  r.text = m.value(QStringLiteral("text")).toString();
  r.params = listFromCbor(m.value(QStringLiteral("params")).toArray());
  const QCborValue key = m.value(QStringLiteral("key"));
  if (key.isString()) r.personKey = key.toString();
  return r;
}

QCborMap Change::toCbor() const {
  QCborMap m;
  m[QStringLiteral("kind")] = QString::fromLatin1(kKinds[int(kind)]);
  m[QStringLiteral("rid")] = rid;
  m[QStringLiteral("original")] = mapToCbor(original);
  m[QStringLiteral("values")] = mapToCbor(values);
  return m;
}

std::optional<Change> Change::fromCbor(const QCborMap& m) {
  Change c;
  const QString kind = m.value(QStringLiteral("kind")).toString();
  const auto known = std::find_if(std::begin(kKinds), std::end(kKinds),
                                  [&](const char* k) { return kind == QLatin1StringView(k); });
  if (known == std::end(kKinds)) return std::nullopt;
  c.kind = Kind(known - std::begin(kKinds));
  c.rid = m.value(QStringLiteral("rid")).toInteger();
  c.original = mapFromCbor(m.value(QStringLiteral("original")).toMap());
  c.values = mapFromCbor(m.value(QStringLiteral("values")).toMap());
  return c;
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

std::optional<ApplyRequest> ApplyRequest::fromCbor(const QCborMap& m, QString* error) {
  ApplyRequest r;
  for (const QCborValue& partValue : m.value(QStringLiteral("parts")).toArray()) {
    const QCborMap p = partValue.toMap();
    ApplyPart part{OpenRequest::fromCbor(p), {}};
    for (const QCborValue& c : p.value(QStringLiteral("changes")).toArray()) {
      std::optional<Change> change = Change::fromCbor(c.toMap());
      if (!change) {
        *error = QStringLiteral("未知的修改类型");
        return std::nullopt;
      }
      part.changes << std::move(*change);
    }
    r.parts << std::move(part);
  }
  return r;
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

DrawRequest DrawRequest::fromCbor(const QCborMap& m) {
  return {m.value(QStringLiteral("table")).toString()};
}

QCborMap DrawReply::toCbor() const {
  QCborMap m = okReply();
  m[QStringLiteral("value")] = value;
  return m;
}

DrawReply DrawReply::fromCbor(const QCborMap& m) {
  return {m.value(QStringLiteral("value")).toInteger()};
}

}  // namespace protocol
