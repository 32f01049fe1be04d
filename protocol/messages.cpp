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

// Reads the fields of one request map, each of the one type its writer gives it. The first
// field that is missing (when required) or of another type ends the reading: every later call
// fails too, and `error` says which field it was.
class Fields {
 public:
  Fields(const QCborMap& m, QString* error) : m_(m), error_(error) {}

  bool text(const QString& key, QString* out, bool required = true) {
    const QCborValue v = take(key, QCborValue::String, required);
    if (v.isString()) *out = v.toString();
    return good_;
  }
  bool integer(const QString& key, qint64* out, bool required = true) {
    const QCborValue v = take(key, QCborValue::Integer, required);
    if (v.isInteger()) *out = v.toInteger();
    return good_;
  }
  bool list(const QString& key, QCborArray* out, bool required = true) {
    const QCborValue v = take(key, QCborValue::Array, required);
    if (v.isArray()) *out = v.toArray();
    return good_;
  }
  bool map(const QString& key, QCborMap* out, bool required = true) {
    const QCborValue v = take(key, QCborValue::Map, required);
    if (v.isMap()) *out = v.toMap();
    return good_;
  }
  // Field values: a list of them, or a map of column name → value.
  bool values(const QString& key, QVariantList* out, bool required = true) {
    QCborArray a;
    if (!list(key, &a, required)) return false;
    out->reserve(a.size());
    for (const QCborValue& v : a) {
      const std::optional<QVariant> cell = cellFromCbor(v);
      if (!cell) return wrongType(key);
      out->append(*cell);
    }
    return true;
  }
  bool values(const QString& key, QVariantMap* out) {
    QCborMap m;
    if (!map(key, &m)) return false;
    for (auto it = m.begin(); it != m.end(); ++it) {
      const std::optional<QVariant> cell = cellFromCbor(it.value());
      if (!it.key().isString() || !cell) return wrongType(key);
      out->insert(it.key().toString(), *cell);
    }
    return true;
  }
  bool fail(const QString& reason) {
    if (good_) *error_ = reason;
    good_ = false;
    return false;
  }

 private:
  QCborValue take(const QString& key, QCborValue::Type type, bool required) {
    if (!good_) return {};
    const QCborValue v = m_.value(key);
    if (v.isUndefined()) {
      if (required) fail(QStringLiteral("请求格式错误：缺少 %1").arg(key));
      return {};
    }
    if (v.type() != type) {
      wrongType(key);
      return {};
    }
    return v;
  }
  bool wrongType(const QString& key) {
    return fail(QStringLiteral("请求格式错误：%1 的类型不对").arg(key));
  }

  const QCborMap& m_;
  QString* error_;
  bool good_ = true;
};

// The request `T` read with `read`, or nothing when a field was refused.
template <typename T, typename Read>
std::optional<T> readRequest(const QCborMap& m, QString* error, Read&& read) {
  T r;
  Fields fields(m, error);
  if (!read(fields, r)) return std::nullopt;
  return r;
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

std::optional<QVariant> cellFromCbor(const QCborValue& value) {
  if (value.isNull()) return QVariant();
  if (value.isInteger()) return QVariant(qint64(value.toInteger()));
  if (value.isString()) return QVariant(value.toString());
  return std::nullopt;
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

std::optional<Hello> Hello::fromCbor(const QCborMap& m, QString* error) {
  return readRequest<Hello>(m, error, [](Fields& f, Hello& r) {
    qint64 version = 0;
    if (!f.text(QStringLiteral("object"), &r.object) ||
        !f.integer(QStringLiteral("version"), &version))
      return false;
    r.version = int(qBound(qint64(-1), version, qint64(1) << 30));
    return true;
  });
}

QCborMap SignInRequest::toCbor() const {
  QCborMap m = request(op::kSignIn);
  m[QStringLiteral("id")] = id;
  m[QStringLiteral("password")] = password;
  return m;
}

std::optional<SignInRequest> SignInRequest::fromCbor(const QCborMap& m, QString* error) {
  return readRequest<SignInRequest>(m, error, [](Fields& f, SignInRequest& r) {
    return f.text(QStringLiteral("id"), &r.id) && f.text(QStringLiteral("password"), &r.password);
  });
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

std::optional<OpenRequest> OpenRequest::fromCbor(const QCborMap& m, QString* error) {
  return readRequest<OpenRequest>(m, error, [&m](Fields& f, OpenRequest& r) {
    QString key;
    if (!f.text(QStringLiteral("provider"), &r.provider) ||
        !f.text(QStringLiteral("text"), &r.text, false) ||
        !f.values(QStringLiteral("params"), &r.params, false) ||
        !f.text(QStringLiteral("key"), &key, false))
      return false;
    if (m.contains(QStringLiteral("key"))) r.personKey = key;
    return true;
  });
}

QCborMap Change::toCbor() const {
  QCborMap m;
  m[QStringLiteral("kind")] = QString::fromLatin1(kKinds[int(kind)]);
  m[QStringLiteral("rid")] = rid;
  m[QStringLiteral("original")] = mapToCbor(original);
  m[QStringLiteral("values")] = mapToCbor(values);
  return m;
}

std::optional<Change> Change::fromCbor(const QCborMap& m, QString* error) {
  return readRequest<Change>(m, error, [](Fields& f, Change& c) {
    QString kind;
    if (!f.text(QStringLiteral("kind"), &kind)) return false;
    const auto known = std::find_if(std::begin(kKinds), std::end(kKinds),
                                    [&](const char* k) { return kind == QLatin1StringView(k); });
    if (known == std::end(kKinds)) return f.fail(QStringLiteral("未知的修改类型"));
    c.kind = Kind(known - std::begin(kKinds));
    return f.integer(QStringLiteral("rid"), &c.rid) &&
           f.values(QStringLiteral("original"), &c.original) &&
           f.values(QStringLiteral("values"), &c.values);
  });
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
  return readRequest<ApplyRequest>(m, error, [error](Fields& f, ApplyRequest& r) {
    QCborArray parts;
    if (!f.list(QStringLiteral("parts"), &parts)) return false;
    if (parts.isEmpty()) return f.fail(QStringLiteral("保存请求中没有任何修改"));
    for (const QCborValue& partValue : parts) {
      if (!partValue.isMap()) return f.fail(QStringLiteral("请求格式错误：parts 的类型不对"));
      const QCborMap p = partValue.toMap();
      std::optional<OpenRequest> source = OpenRequest::fromCbor(p, error);
      QCborArray changes;
      Fields partFields(p, error);
      if (!source || !partFields.list(QStringLiteral("changes"), &changes)) return false;
      ApplyPart part{std::move(*source), {}};
      for (const QCborValue& c : changes) {
        if (!c.isMap()) return f.fail(QStringLiteral("请求格式错误：changes 的类型不对"));
        std::optional<Change> change = Change::fromCbor(c.toMap(), error);
        if (!change) return false;
        part.changes << std::move(*change);
      }
      r.parts << std::move(part);
    }
    return true;
  });
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

std::optional<DrawRequest> DrawRequest::fromCbor(const QCborMap& m, QString* error) {
  return readRequest<DrawRequest>(m, error, [](Fields& f, DrawRequest& r) {
    return f.text(QStringLiteral("table"), &r.table);
  });
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
